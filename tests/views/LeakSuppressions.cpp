// The sanitizer build checks for leaks at exit. Fontconfig, under Qt's font
// database, keeps a few blocks it never frees; they are not ours to fix.
// LeakSanitizer asks for this function by name when it starts.

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
