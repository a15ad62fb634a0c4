// Read by LeakSanitizer when a program is built with it: Cairo's fonts leave fontconfig
// patterns behind at exit that are not ours to free. Linked into wavspec-plot and plot_test,
// whose symbols are exported so that a shared sanitizer runtime finds these.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
// Keeps quiet about having used them, so standard error holds only the program's messages.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
