#include "platform/controls/Accessibility.h"

#include <QAccessible>
#include <QWidget>
#include <map>

#include "platform/controls/Controls.h"

namespace {

struct THook {
  uint32_t First, Last;
  TWinEventProc Proc;
};

std::map<HWINEVENTHOOK, THook>& Hooks() {
  static std::map<HWINEVENTHOOK, THook> hooks;
  return hooks;
}

// The states a state-change notice may concern; the listener reads their
// current values from the widget.
QAccessible::State ChangeableStates() {
  QAccessible::State states;
  states.checked = states.expanded = states.collapsed = states.focused = states.selected = true;
  return states;
}

void TellQt(uint32_t event, QWidget* widget) {
  switch (event) {
    case EVENT_OBJECT_STATECHANGE: {
      QAccessibleStateChangeEvent notice(widget, ChangeableStates());
      QAccessible::updateAccessibility(&notice);
      return;
    }
    case EVENT_OBJECT_VALUECHANGE: {
      QAccessibleValueChangeEvent notice(widget, QVariant());
      QAccessible::updateAccessibility(&notice);
      return;
    }
    case EVENT_OBJECT_FOCUS:
    case EVENT_OBJECT_SELECTION:
    case EVENT_OBJECT_LOCATIONCHANGE:
    case EVENT_OBJECT_NAMECHANGE: {
      const QAccessible::Event type = event == EVENT_OBJECT_FOCUS       ? QAccessible::Focus
                                      : event == EVENT_OBJECT_SELECTION ? QAccessible::Selection
                                      : event == EVENT_OBJECT_NAMECHANGE ? QAccessible::NameChanged
                                                                         : QAccessible::LocationChanged;
      QAccessibleEvent notice(widget, type);
      QAccessible::updateAccessibility(&notice);
      return;
    }
    default: return;
  }
}

}  // namespace

HWINEVENTHOOK SetWinEventHook(uint32_t eventMin, uint32_t eventMax, TWinEventProc proc) {
  static HWINEVENTHOOK last = 0;
  Hooks()[++last] = {eventMin, eventMax, std::move(proc)};
  return last;
}

bool UnhookWinEvent(HWINEVENTHOOK hook) { return Hooks().erase(hook) > 0; }

void NotifyWinEvent(uint32_t event, HWND wnd, int32_t objectId, int32_t childId) {
  if (TControl* control = TControl::FromHandle(wnd); control && control->Widget()) TellQt(event, control->Widget());
  // Copies, so that a hook may unhook while the notice goes round.
  const std::map<HWINEVENTHOOK, THook> hooks = Hooks();
  for (const auto& [handle, hook] : hooks)
    if (event >= hook.First && event <= hook.Last && Hooks().count(handle)) hook.Proc(event, wnd, objectId, childId);
}
