# Sourced by tools/test.sh and tests/fuzz/run, with $root set to the
# repository: how the sanitizer build's programs report. Every report ends
# the program with a failure. Leaks are reported at exit, except those of
# the system libraries named in lsan.supp, which keep caches for the life of
# the process. A huge allocation fails the way it does without the
# sanitizer (std::bad_alloc, a null from malloc) instead of being reported,
# since the program's own guards against forged sizes rely on that.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
