"""Every include of the program's rooms goes down the floors that README.md's layout table states.

A row of the table whose Includes cell is not empty is a room: its files may include the room's
own headers and what that cell names, each a room (any of its headers) or one header (a contract),
on a row further down. Prints each include that breaks this, and each entry naming a room that is
not below; exits 1 if there is any. Usage: check_floors.py <repository root>
"""

import pathlib
import re
import sys


def rooms(readme):
    """[(folder, [names in its Includes cell])] in table order, top floor first."""
    found = []
    for line in readme.read_text().splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        folder = re.fullmatch(r"`([a-z0-9_/]+)/`", cells[0]) if len(cells) == 3 else None
        if folder and cells[2]:
            found.append((folder[1], re.findall(r"`([^`]+)`", cells[2])))
    return found


def resolve(root, table, name):
    """(row, allowed path or folder prefix) that an Includes entry names; (None, None) if none."""
    for row, (folder, _) in enumerate(table):
        if name.endswith(".h") and (root / folder / name).is_file():
            return row, f"{folder}/{name}"
        if not name.endswith(".h") and folder.rsplit("/", 1)[-1] == name:
            return row, f"{folder}/"
    return None, None


def main():
    root = pathlib.Path(sys.argv[1])
    table = rooms(root / "README.md")
    problems = [] if table else ["README.md: no layout table with an Includes column"]
    for row, (folder, names) in enumerate(table):
        allowed = [f"{folder}/"]
        for name in names:
            below, path = resolve(root, table, name)
            if below is None or below <= row:
                problems.append(f"README.md: {folder}/ may include `{name}`, not a room below it")
            else:
                allowed.append(path)
        for source in sorted((root / folder).glob("*.[ch]*")):
            for number, line in enumerate(source.read_text().splitlines(), 1):
                include = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
                if include and not any(include[1].startswith(a) for a in allowed):
                    problems.append(f"{source.relative_to(root)}:{number}: includes {include[1]}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
