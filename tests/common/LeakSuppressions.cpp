// Linked into every test program: the system's font and bus libraries keep
// caches for the life of the process, so the leak checker leaves those alone.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
