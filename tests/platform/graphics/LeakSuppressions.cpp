// The system's font and bus libraries keep caches for the life of the
// process; the leak checker is told to leave those alone.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
