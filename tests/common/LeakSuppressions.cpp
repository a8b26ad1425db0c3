// Linked into every test program: the system's font and bus libraries keep
// caches for the life of the process, so the leak checker leaves those alone;
// Qt is not built for the thread checker and runs some of its own work on
// pooled threads, so the memory calls Qt makes itself are not watched.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

// The user-interface thread's drain event is made on the thread that wakes
// it (PostDrainEvent) and read by the event filters once Qt's event queue
// has handed it over under that queue's lock, which the checker cannot see
// in Qt: the event's memory is touched on one thread at a time.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so\ncalled_from_lib:libQt6Gui.so\nrace:PostDrainEvent\n";
}
