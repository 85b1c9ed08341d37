# Sanitizer options for runs of a -DTAVENOR_SANITIZE=ON build; sourced
# by scripts/test, whose ctest runs pass them on. Third-party leaks are
# suppressed by library name in lsan.supp beside this file; no check is off.
tavenor_sanitizer_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1"
export LSAN_OPTIONS="suppressions=$tavenor_sanitizer_dir/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
unset tavenor_sanitizer_dir
