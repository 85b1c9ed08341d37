# The sanitizer options as a CTest ENVIRONMENT list, for tests that run a
# sanitized or fuzz build: include() it and set TAVENOR_SANITIZER_ENV on them.
# Keep in step with sanitizer-env.sh (the same options for scripts).
set(_dir ${CMAKE_CURRENT_LIST_DIR})
set(TAVENOR_SANITIZER_ENV
    "ASAN_OPTIONS=suppressions=${_dir}/asan.supp:detect_leaks=1:check_initialization_order=1:\
strict_init_order=1"
    "LSAN_OPTIONS=suppressions=${_dir}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=suppressions=${_dir}/ubsan.supp:print_stacktrace=1:halt_on_error=1")
unset(_dir)
