// Random and truncated settings files: the reader never throws, and what it
// read is written back in a form that reads back to the same file.
#include <random>

#include "test_settings_fixture.h"

namespace {

const char* const Fragments[] = {"[PROJECT2]", "[PROJECT]", "[FILE`SIZE]", "[DOMAINS]", "[LANGUAGE]",
                                 "[URL/DOMAIN FILTER INCLUDE 1]", ";", "|", ",", "+", "^", "\r\n", "\n",
                                 "\r", "$", "0x", "-", "99999999999", "31.12.9999", "00:00:00", " "};

class Mutator {
public:
  explicit Mutator(unsigned seed) : random_(seed) {}

  AnsiString Mutate(AnsiString text) {
    const int steps = Below(6) + 1;
    for (int i = 0; i < steps; ++i) Step(text);
    return text;
  }

  AnsiString RandomBytes() {
    AnsiString text(Below(300), '\0');
    for (char& c : text) c = static_cast<char>(Below(256));
    return text;
  }

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

private:
  void Step(AnsiString& text) {
    const size_t at = text.empty() ? 0 : Below(static_cast<int>(text.size()));
    switch (Below(5)) {
      case 0: text.resize(at); break;
      case 1: if (!text.empty()) text[at] = static_cast<char>(Below(256)); break;
      case 2: text.insert(at, Fragments[Below(std::size(Fragments))]); break;
      case 3: text.erase(at, Below(20)); break;
      default: text.insert(at, text.substr(Below(static_cast<int>(text.size()) + 1), Below(40))); break;
    }
  }

  std::mt19937 random_;
};

}  // namespace

TEST_F(SettingsTest, RandomAndTruncatedFilesReadWithoutFailureAndSettle) {
  const AnsiString seeds[] = {SettingsData("full.pro"), SettingsData("legacy.pro"),
                              SettingsData("default.txt")};
  Mutator mutator(20261206);
  const AnsiString input = program_ / "fuzz.pro";
  for (int round = 0; round < 600; ++round) {
    const AnsiString& seed = seeds[round % std::size(seeds)];
    const AnsiString text = round % 10 == 9 ? mutator.RandomBytes() : mutator.Mutate(seed);
    program_.Write("fuzz.pro", text);
    const bool isDefault = round % 2 == 0;
    // The first save may still change on reading (a missing schedule is written
    // cleared and read back with the defaults of the moment); the second may not.
    AnsiString second, third;
    ASSERT_NO_THROW(LoadAndSaveAs(input, isDefault, program_ / "first.pro")) << round;
    ASSERT_NO_THROW(second = LoadAndSaveAs(program_ / "first.pro", isDefault, program_ / "second.pro"))
        << round;
    ASSERT_NO_THROW(third = LoadAndSaveAs(program_ / "second.pro", isDefault, program_ / "third.pro"))
        << round;
    ASSERT_EQ(second, third) << "round " << round << ", input:\n" << text;
    TParamProObj params(input, isDefault);
    params.LoadFromFile("");
    for (uint8_t kind = 0; kind <= TScheduleObj::skOnce; ++kind) {
      params.Schedule.Kind = kind;
      ASSERT_NO_THROW(params.Schedule.IsDue()) << round;
    }
  }
}
