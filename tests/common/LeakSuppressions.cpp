// Linked into every test program: the system's font and bus libraries keep
// caches for the life of the process, so the leak checker leaves those alone;
// Qt is not built for the thread checker and runs some of its own work on
// pooled threads, so the memory calls Qt makes itself are not watched.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so\ncalled_from_lib:libQt6Gui.so\n";
}
