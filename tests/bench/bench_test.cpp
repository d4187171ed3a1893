// The bench's own tests: the parts a boot-program test relies on without
// seeing them (teletype rules, CHS arithmetic, the machine's stops, stale
// translated code after a disk read).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/bench/pc.h"

namespace vornboot::bench {
namespace {

std::vector<std::uint8_t> loadProgram(const char* name) {
  std::string path = std::string(VB_BENCH_PROGRAMS) + "/" + name;
  std::vector<std::uint8_t> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(std::uint8_t(c));
    std::fclose(f);
  }
  return bytes;
}

// --- Screen -------------------------------------------------------------

struct TeletypeCase {
  const char* name;
  std::string output;
  std::vector<std::string> lines;  // the used lines
  unsigned row, column;
};

TEST(Screen, TeletypeLikeABios) {
  const std::string full(80, 'x');
  std::string scroll;
  for (int i = 0; i < 26; ++i) {
    scroll += 'L';
    scroll += std::to_string(i);
    scroll += "\r\n";
  }
  const TeletypeCase cases[] = {
      {"CR LF", "ab\r\ncd", {"ab", "cd"}, 1, 2},
      {"LF keeps the column", "ab\ncd", {"ab", "  cd"}, 1, 4},
      {"CR overwrites", "WRONG!\rEnter", {"Enter!"}, 0, 5},
      {"BS moves left without erasing", "ab\bc", {"ac"}, 0, 2},
      {"BS stops at column 0", "\b\bx", {"x"}, 0, 1},
      {"BEL shows nothing", "a\ab", {"ab"}, 0, 2},
      {"the 81st character wraps", full + "y", {full, "y"}, 1, 1},
      {"exactly 80 characters leave the cursor on the next line", full, {full, ""}, 1, 0},
  };
  for (const TeletypeCase& c : cases) {
    Screen s;
    for (char ch : c.output) s.put(std::uint8_t(ch));
    EXPECT_EQ(s.usedLines(), c.lines) << c.name;
    EXPECT_EQ(s.cursorRow(), c.row) << c.name;
    EXPECT_EQ(s.cursorColumn(), c.column) << c.name;
  }

  Screen s;
  for (char ch : scroll) s.put(std::uint8_t(ch));
  EXPECT_EQ(s.line(0), "L2");
  EXPECT_EQ(s.line(23), "L25");
  EXPECT_EQ(s.line(24), "");
  EXPECT_EQ(s.cursorRow(), 24u);
  EXPECT_EQ(s.transcript(), scroll);
}

TEST(Keyboard, ShiftedCharactersShareTheScanCode) {
  Key lower{}, upper{}, digit{}, shifted{};
  ASSERT_TRUE(keyFor('q', lower));
  ASSERT_TRUE(keyFor('Q', upper));
  EXPECT_EQ(lower.scan, 0x10);
  EXPECT_EQ(upper.scan, 0x10);
  EXPECT_EQ(upper.ascii, 'Q');
  ASSERT_TRUE(keyFor('0', digit));
  ASSERT_TRUE(keyFor(')', shifted));
  EXPECT_EQ(digit.scan, 0x0B);
  EXPECT_EQ(shifted.scan, 0x0B);
  Key k{};
  ASSERT_TRUE(keyFor('/', k));
  EXPECT_EQ(k.scan, 0x35);
  ASSERT_TRUE(keyFor('`', k));
  EXPECT_EQ(k.scan, 0x29);
}

// --- Disks --------------------------------------------------------------

class FlatMemory : public MemoryAccess {
 public:
  bool read(std::uint32_t address, void* out, std::uint32_t size) override {
    if (address + size > bytes.size()) return false;
    std::memcpy(out, bytes.data() + address, size);
    return true;
  }
  bool write(std::uint32_t address, const void* data, std::uint32_t size) override {
    if (address + size > bytes.size()) return false;
    std::memcpy(bytes.data() + address, data, size);
    return true;
  }
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(0x10000, 0);
};

DiskRegisters call(std::uint16_t ax, std::uint16_t cx, std::uint16_t dx,
                   std::uint16_t bx = 0x1000) {
  return DiskRegisters{ax, bx, cx, dx, 0, 0, 0, 0, false};
}

TEST(Disks, ChsAddressesFollowTheGeometry) {
  // 1000 cylinders (so the high cylinder bits in CL matter), 4 heads, 5 sectors.
  DiskSet set;
  DiskImage& d = set.add(DiskImage(20000, Geometry{1000, 4, 5}));
  for (std::uint32_t lba : {0u, 4u, 5u, 20u, 19999u}) d.sector(lba)[0] = std::uint8_t(lba);
  d.sector(19999)[1] = 0x99;

  struct Case {
    std::uint16_t cx;
    std::uint8_t head;
    bool ok;
    std::uint32_t lba;
  };
  const Case cases[] = {
      {0x0001, 0, true, 0},  {0x0005, 0, true, 4},     {0x0001, 1, true, 5},
      {0x0101, 0, true, 20}, {0x0006, 0, false, 0},    {0x0000, 0, false, 0},
      {0x0001, 4, false, 0}, {0xE7C5, 3, true, 19999},  // cylinder 999
      {0xE8C1, 0, false, 0},                            // cylinder 1000
  };
  for (const Case& c : cases) {
    FlatMemory memory;
    DiskRegisters r = call(0x0201, c.cx, std::uint16_t(c.head << 8 | 0x80));
    set.serve(r, memory);
    EXPECT_EQ(!r.carry, c.ok) << std::hex << c.cx << " head " << int(c.head);
    if (c.ok) {
      EXPECT_EQ(r.ax, 0x0001);
      EXPECT_EQ(set.calls().back().lba, c.lba);
      EXPECT_EQ(memory.bytes[0x1000], std::uint8_t(c.lba)) << std::hex << c.cx;
    } else {
      EXPECT_NE(r.ax >> 8, 0);
    }
  }

  FlatMemory memory;
  DiskRegisters r = call(0x0800, 0, 0x0080);
  set.serve(r, memory);
  EXPECT_FALSE(r.carry);
  EXPECT_EQ(r.cx, 0xE7C5);  // maximum cylinder 999, 5 sectors per track
  EXPECT_EQ(r.dx, 0x0301);  // maximum head 3, one drive
}

TEST(Disks, InjectedFailuresAndExtensions) {
  DiskSet set;
  DiskImage& d = set.add(DiskImage(16));
  d.sector(9)[0] = 0x42;
  d.failFirstReads = 2;
  FlatMemory memory;

  auto read = [&](std::uint16_t cx) {
    DiskRegisters r = call(0x0201, cx, 0x0080);
    set.serve(r, memory);
    return !r.carry;
  };
  EXPECT_FALSE(read(1));
  EXPECT_FALSE(read(1));
  EXPECT_TRUE(read(1));

  // Extended read through a packet at 0x0500: sector 9 to 0000:2000.
  const std::uint8_t packet[16] = {0x10, 0, 1, 0, 0x00, 0x20, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(&memory.bytes[0x500], packet, 16);
  DiskRegisters check{0x4100, 0x55AA, 0, 0x0080, 0, 0, 0, 0, false};
  set.serve(check, memory);
  EXPECT_FALSE(check.carry);
  EXPECT_EQ(check.bx, 0xAA55);
  EXPECT_EQ(check.cx & 1, 1);
  DiskRegisters ext{0x4200, 0, 0, 0x0080, 0x0500, 0, 0, 0, false};
  set.serve(ext, memory);
  EXPECT_FALSE(ext.carry);
  EXPECT_EQ(memory.bytes[0x2000], 0x42);

  d.unreadable.insert(9);
  memory.bytes[0x2000] = 0;
  ext = DiskRegisters{0x4200, 0, 0, 0x0080, 0x0500, 0, 0, 0, false};
  set.serve(ext, memory);
  EXPECT_TRUE(ext.carry);
  EXPECT_EQ(memory.bytes[0x2000], 0);
  EXPECT_EQ(memory.bytes[0x502], 0);  // no block transferred

  d.extensions = false;
  check = DiskRegisters{0x4100, 0x55AA, 0, 0x0080, 0, 0, 0, 0, false};
  set.serve(check, memory);
  EXPECT_TRUE(check.carry);
  DiskRegisters missing = call(0x0201, 1, 0x0081);
  set.serve(missing, memory);
  EXPECT_TRUE(missing.carry);
  EXPECT_EQ(set.calls(0x42).size(), 2u);
}

// --- The machine -------------------------------------------------------

DiskImage bootDisk(const std::vector<std::uint8_t>& sector0) {
  DiskImage d(16);
  std::memcpy(d.sector(0), sector0.data(), std::min<std::size_t>(sector0.size(), 512));
  d.sector(0)[510] = 0x55;
  d.sector(0)[511] = 0xAA;
  return d;
}

TEST(Machine, KeysScreenDiskAndChainLoad) {
  std::vector<std::uint8_t> first = loadProgram("relocate_and_chain.bin");
  std::vector<std::uint8_t> second = loadProgram("chained.bin");
  ASSERT_EQ(first.size(), 512u);
  ASSERT_EQ(second.size(), 512u);
  Pc pc;
  ASSERT_TRUE(pc.ready()) << pc.machine().error();
  pc.disks().add(bootDisk(first)).setSector(1, second.data());

  EXPECT_EQ(pc.boot(), Stop::WaitingForKey);
  EXPECT_EQ(pc.screen().usedLines(), (std::vector<std::string>{"Hi", ""}));
  // Waiting is resumable any number of times without losing the request.
  EXPECT_EQ(pc.resume(), Stop::WaitingForKey);
  EXPECT_EQ(pc.type("A"), Stop::WaitingForKey);
  EXPECT_EQ(pc.type("z"), Stop::ChainLoaded);
  EXPECT_EQ(pc.screen().line(1), "Az");

  const RegisterState& s = pc.machine().chainLoadState();
  EXPECT_EQ(s.cs, 0);
  EXPECT_EQ(s.ip, 0x7C00);
  EXPECT_EQ(s.dl(), 0x80);
  EXPECT_EQ(pc.memory(0x7C00, 512), second);

  // The chained sector's own code runs, not code translated from the bytes
  // that were at 0x7C00 before the read.
  EXPECT_EQ(pc.resume(), Stop::Halted);
  EXPECT_EQ(pc.screen().line(1), "Az!");
}

TEST(Machine, StopsOnBudgetHaltLoopsAndExceptions) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> code;
    Stop stop;
  };
  const Case cases[] = {
      {"endless counting loop", {0x90, 0x40, 0xEB, 0xFD}, Stop::BudgetExhausted},  // inc ax; jmp -3
      {"jump to itself", {0x90, 0xEB, 0xFE}, Stop::Halted},
      {"hlt", {0xFA, 0xF4}, Stop::Halted},
      {"divide by zero", {0x31, 0xC9, 0xF7, 0xF1}, Stop::CpuException},  // xor cx,cx; div cx
      {"INT 18h", {0xCD, 0x18}, Stop::BootFailed},
      {"unknown interrupt", {0xCD, 0x15}, Stop::UnhandledInterrupt},
      {"rep stosb is no endless loop",  // cx=0x100, es=di=0x1000; rep stosb; hlt
       {0xB9, 0x00, 0x01, 0xBF, 0x00, 0x10, 0x31, 0xC0, 0x8E, 0xC0, 0xF3, 0xAA, 0xF4},
       Stop::Halted},
  };
  // The loops start after a NOP: coming back to 0000:7C00 is a stop of its own.
  for (const Case& c : cases) {
    Pc pc;
    ASSERT_TRUE(pc.ready());
    pc.setBudget(10000);
    pc.disks().add(bootDisk(c.code));
    EXPECT_EQ(pc.boot(), c.stop) << c.name;
  }

  Pc pc;
  pc.disks().add(DiskImage(4));
  EXPECT_EQ(pc.boot(), Stop::NotBootable);
}

TEST(Machine, EntryAt07C0) {
  // Entered at 07C0:0000 the program sees CS = 0x07C0, and its far jump to
  // 0000:7C00 counts as reaching 0000:7C00 again.
  Pc pc;
  pc.disks().add(bootDisk({0x8C, 0xC8, 0xEA, 0x00, 0x7C, 0x00, 0x00}));  // mov ax,cs; jmp 0:7C00
  EXPECT_EQ(pc.boot(EntryPoint::Segment07C0), Stop::ChainLoaded);
  EXPECT_EQ(pc.machine().chainLoadState().ax, 0x07C0);
  EXPECT_EQ(pc.machine().chainLoadState().cs, 0);
}

}  // namespace
}  // namespace vornboot::bench
