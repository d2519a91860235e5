// Linked into every test when it is built with ThreadSanitizer: Qt is
// not instrumented, so its internals are suppressed by name in tsan.supp while
// races in the project's code are still reported. TSAN_OPTIONS add to or override these.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1:halt_on_error=1"
           ":suppressions=" MERRO_TSAN_SUPPRESSIONS;
}
