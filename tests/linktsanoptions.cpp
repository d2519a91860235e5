// Linked into the link tests when they are built with ThreadSanitizer.
// Debian's Qt is not instrumented: the copies it makes inside its own code
// (posted events, container buffers) are left unchecked, and its internals
// are suppressed by name in tsan.supp. Races in the project's code are still
// reported. TSAN_OPTIONS given at run time add to or override these.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1:halt_on_error=1"
           ":suppressions=" MERRO_TSAN_SUPPRESSIONS;
}
