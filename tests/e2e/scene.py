"""Where the viewer should put the word on the screen, worked out here from the scene's geometry
for the end-to-end checks, independently of the program's code.

The camera looks from (3, 7, -5) at (0, 2, 0) with y up (left-handed), 60 degrees vertically,
aspect 2, onto a 600 x 300 picture. The word fills model x 0.25..11.75, y 0.25..4, z 0..1; the
world transform shifts it by -6 along x, turns it about the world origin, then moves it.
"""

import math

EYE = (3.0, 7.0, -5.0)
TARGET = (0.0, 2.0, 0.0)
UP = (0.0, 1.0, 0.0)
FOV_Y = math.pi / 3
WIDTH, HEIGHT = 600, 300
ASPECT = 2.0
# The ball's centre in client pixels and its half-axes (radius 0.9 of the half size).
BALL_CENTRE = (300, 150)
BALL_HALF_X = 0.9 * WIDTH / 2
# The word's bounding box in model space.
WORD_MIN = (0.25, 0.25, 0.0)
WORD_MAX = (11.75, 4.0, 1.0)


def _sub(a, b):
    return tuple(p - q for p, q in zip(a, b))


def _dot(a, b):
    return sum(p * q for p, q in zip(a, b))


def _cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def _unit(a):
    length = math.sqrt(_dot(a, a))
    return tuple(p / length for p in a)


# Camera axes of a left-handed look-at: z toward the target, x = up x z, y = z x x.
_Z = _unit(_sub(TARGET, EYE))
_X = _unit(_cross(UP, _Z))
_Y = _cross(_Z, _X)


def project(point):
    """Screen position (x right, y down, in pixels) and camera depth of a world point."""
    rel = _sub(point, EYE)
    x, y, depth = _dot(_X, rel), _dot(_Y, rel), _dot(_Z, rel)
    scale_y = 1.0 / math.tan(FOV_Y / 2)
    ndc_x = x * scale_y / ASPECT / depth
    ndc_y = y * scale_y / depth
    return ((ndc_x + 1) / 2 * WIDTH, (1 - ndc_y) / 2 * HEIGHT, depth)


def to_world(model_point, turn_y=0.0, offset=(0.0, 0.0, 0.0)):
    """A model point shifted by -6 along x, turned by turn_y radians about the world y axis (the
    side facing the camera, -z, moves toward +x for a positive angle), then moved by offset."""
    x, y, z = model_point[0] - 6.0, model_point[1], model_point[2]
    c, s = math.cos(turn_y), math.sin(turn_y)
    turned = (x * c - z * s, y, x * s + z * c)
    return tuple(p + q for p, q in zip(turned, offset))


def word_corners():
    """The eight corners of the word's bounding box, in model space."""
    return [
        (x, y, z)
        for x in (WORD_MIN[0], WORD_MAX[0])
        for y in (WORD_MIN[1], WORD_MAX[1])
        for z in (WORD_MIN[2], WORD_MAX[2])
    ]


def word_middle():
    """The middle of the word's bounding box, in model space."""
    return tuple((a + b) / 2 for a, b in zip(WORD_MIN, WORD_MAX))


def turn_of_left_drag(dx):
    """The turn (radians, as in to_world) of a left drag from the ball's centre dx pixels to the
    right: the ball point is (-dx / half-axis, 0, z), so the drag quaternion (0, -dx / half-axis,
    0, z) turns by twice the swept arc, asin(dx / half-axis)."""
    return 2 * math.asin(dx / BALL_HALF_X)


def offset_of_right_drag(dx, dy):
    """World offset of a right drag by dx pixels right and dy pixels down."""
    return (2.0 * dx / WIDTH, -2.0 * dy / HEIGHT, 0.0)


def offset_of_middle_drag(dy):
    """World offset of a middle drag by dy pixels down (negative: up, away from the viewer)."""
    return (0.0, 0.0, -5.0 * dy / HEIGHT)


def predicted_box(turn=0.0, offset=(0.0, 0.0, 0.0)):
    """Screen extent (left, top, right, bottom) of the word's bounding box after a turn and a
    move (as in to_world), cut to the picture."""
    points = [project(to_world(corner, turn, offset)) for corner in word_corners()]
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return (max(min(xs), 0), max(min(ys), 0), min(max(xs), WIDTH - 1), min(max(ys), HEIGHT - 1))
