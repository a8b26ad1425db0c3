// The system's font libraries keep caches for the life of the process; the
// leak checker leaves those alone. Weak, so that another file of this
// program may give the list instead.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
