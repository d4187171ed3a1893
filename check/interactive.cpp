#include "check/interactive.h"

#include "config/key_table.h"

namespace vornboot::check {

namespace {

constexpr unsigned char kEscape = 0x1B;

/// Reads the next typed byte, skipping the escape sequences of cursor and
/// function keys (ESC [ ... or ESC O ..., up to a final byte @ to ~).
bool nextByte(Terminal& terminal, unsigned char& byte) {
  for (;;) {
    if (!terminal.readByte(byte)) return false;
    if (byte != kEscape) return true;
    if (!terminal.readByte(byte)) return false;
    if (byte != '[' && byte != 'O') return true;
    do {
      if (!terminal.readByte(byte)) return false;
    } while (byte < 0x40 || byte > 0x7E);
  }
}

}  // namespace

KeyMeaning keyOfByte(unsigned char byte, bench::Key& key) {
  switch (byte) {
    case 0x03:  // Ctrl-C
    case 0x04:  // Ctrl-D
      return KeyMeaning::End;
    case '\r':
    case '\n':
      key = bench::kEnter;
      return KeyMeaning::Key;
    case 0x7F:
    case 0x08:
      key = bench::kBackspace;
      return KeyMeaning::Key;
    default:
      break;
  }
  const int scan = scanCodeOf(byte);
  if (scan < 0) return KeyMeaning::Ignore;
  key = {std::uint8_t(scan), byte};
  return KeyMeaning::Key;
}

EntryFindings runInteractive(const TrialSetup& setup, const std::vector<EntryKeys>& entries,
                             Terminal& terminal) {
  EmulatedPc pc(setup.disks, setup.bootSector);
  std::size_t shown = 0;
  auto show = [&] {
    const std::string& t = pc.transcript();
    terminal.write(t.data() + shown, t.size() - shown);
    shown = t.size();
  };
  const bool raw = terminal.enterRaw();
  bench::Stop stop = pc.boot();
  show();

  std::string typed;  // scan codes since the last Enter
  int chosen = -1;
  std::size_t keysBeforeEnter = 0;
  bool ended = false;
  while (stop == bench::Stop::WaitingForKey) {
    unsigned char byte = 0;
    bench::Key key{};
    if (!nextByte(terminal, byte)) {
      ended = true;
      break;
    }
    const KeyMeaning meaning = keyOfByte(byte, key);
    if (meaning == KeyMeaning::End) {
      ended = true;
      break;
    }
    if (meaning == KeyMeaning::Ignore) continue;
    if (key.scan == bench::kEnter.scan) {
      chosen = -1;
      for (std::size_t i = 0; i < entries.size() && chosen < 0; ++i)
        if (entries[i].scanCodes == typed) chosen = int(i);
      keysBeforeEnter = typed.size();
      typed.clear();
    } else {
      typed += char(key.scan);
    }
    stop = pc.type({key});
    show();
  }
  if (raw) terminal.leaveRaw();
  terminal.write("\n", 1);

  Trial trial = pc.result();
  std::string name;
  if (chosen >= 0) {
    name = entries[std::size_t(chosen)].name;
  } else {
    char text[kMessageBufferSize];
    composeMessage<msgCheckNoEntryTyped>(text);
    name = text;
  }
  if (ended) trial.typed = false;  // nothing was chosen: no stop of the boot program to report
  EntryFindings f = assess(setup, name, keysBeforeEnter, trial);
  if (ended) addProblem<msgProblemInterrupted>(f, ProblemKind::Interrupted);
  return f;
}

}  // namespace vornboot::check
