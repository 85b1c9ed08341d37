# The sanitizer options as a CTest ENVIRONMENT list, for tests that run a
# sanitized or fuzz build: include() it and set TAVENOR_SANITIZER_ENV on them.
# Keep in step with sanitizer-env.sh (the same options for scripts).
set(TAVENOR_SANITIZER_ENV
    "ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1"
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
