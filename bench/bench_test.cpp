// The bench's own tests: the parts a boot-program test relies on without
// seeing them (teletype rules, CHS arithmetic, the machine's stops, stale
// translated code after a disk read, what each BIOS mode leaves in the
// registers).

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bench/pc.h"

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

TEST(Disks, BiosGeometryBySize) {
  // 16 heads up to 504 MiB; above, the heads step up by the tracks per 1024
  // cylinders, rounded down, and the cylinders stop at 1024.
  struct Case {
    std::uint64_t sectors;
    Geometry geometry;
  };
  const Case cases[] = {
      {16, {1, 16, 63}},                      // smaller than one cylinder
      {2048, {2, 16, 63}},                    // 1 MiB
      {131072, {130, 16, 63}},                // 64 MiB, as QEMU's IDE disk
      {1032192, {1024, 16, 63}},              // 504 MiB
      {1032192 + 1000 * 63, {1024, 16, 63}},  // 16 heads still: the rest is beyond CHS
      {1032192 + 1024 * 63, {544, 32, 63}},
      {2097152, {1024, 32, 63}},      // 1 GiB: 32 heads, as SeaBIOS reports it
      {8257536, {1024, 128, 63}},     // 4032 MiB
      {8388608, {522, 255, 63}},      // 4 GiB
      {1ull << 32, {1024, 255, 63}},  // 2 TiB: cylinders stop at 1024
  };
  for (const Case& c : cases) {
    const Geometry g = biosGeometry(c.sectors);
    EXPECT_EQ(g, c.geometry) << c.sectors << ": " << g.cylinders << "/" << int(g.heads) << "/"
                             << int(g.sectors);
  }
}

// A source that counts its reads; sector n holds n in its first byte.
class CountingSource : public SectorSource {
 public:
  bool read(std::uint32_t lba, std::uint8_t* out) override {
    reads.push_back(lba);
    if (unreadable.count(lba)) return false;
    std::memset(out, 0, DiskImage::kSectorSize);
    out[0] = std::uint8_t(lba);
    out[511] = 0xEE;
    return true;
  }
  std::vector<std::uint32_t> reads;
  std::set<std::uint32_t> unreadable;
};

TEST(Disks, CopyOnWriteViewOfASource) {
  auto source = std::make_shared<CountingSource>();
  source->unreadable.insert(7);
  DiskSet set;
  DiskImage& d = set.add(DiskImage(source, 100, Geometry{10, 1, 10}));
  FlatMemory memory;
  auto chs = [&](std::uint16_t ax, std::uint8_t sector) {
    DiskRegisters r = call(ax, sector, 0x0080);
    set.serve(r, memory);
    return !r.carry;
  };

  // A read goes to the source, every time, until the image writes the sector.
  ASSERT_TRUE(chs(0x0201, 3));  // LBA 2
  EXPECT_EQ(memory.bytes[0x1000], 2);
  EXPECT_EQ(memory.bytes[0x1000 + 511], 0xEE);
  ASSERT_TRUE(chs(0x0201, 3));
  EXPECT_EQ(source->reads, (std::vector<std::uint32_t>{2, 2}));

  // A write stays in the image and reads nothing of the source.
  memory.bytes[0x1000] = 0x55;
  ASSERT_TRUE(chs(0x0301, 3));
  EXPECT_EQ(source->reads.size(), 2u);
  EXPECT_TRUE(d.holds(2));
  memory.bytes[0x1000] = 0;
  ASSERT_TRUE(chs(0x0201, 3));
  EXPECT_EQ(memory.bytes[0x1000], 0x55);
  EXPECT_EQ(source->reads.size(), 2u);

  // A sector the source cannot read fails the call; one past the disk is
  // never asked for.
  EXPECT_FALSE(chs(0x0201, 8));  // LBA 7
  EXPECT_EQ(source->reads.back(), 7u);
  DiskRegisters beyond = call(0x0201, 0x0A01, 0x0080);  // cylinder 10: LBA 100
  set.serve(beyond, memory);
  EXPECT_TRUE(beyond.carry);
  EXPECT_FALSE(set.calls().back().addressed);
  EXPECT_EQ(source->reads.back(), 7u);

  // The host's view: read() and the const sector() fetch; the other
  // sector() takes the source's bytes in and keeps them.
  std::uint8_t bytes[512];
  ASSERT_TRUE(d.read(4, bytes));
  EXPECT_EQ(bytes[0], 4);
  EXPECT_FALSE(d.read(7, bytes));
  const DiskImage& view = d;
  EXPECT_EQ(view.sector(5)[0], 5);
  EXPECT_FALSE(d.holds(5));
  d.sector(6)[1] = 0x77;
  EXPECT_EQ(d.sector(6)[0], 6);
  EXPECT_TRUE(d.holds(6));

  // A copy shares the source but not what the original writes later.
  DiskImage copy = d;
  d.sector(9)[0] = 0x99;
  EXPECT_EQ(copy.sector(9)[0], 9);
  EXPECT_EQ(copy.sector(2)[0], 0x55);
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

// --- The BIOS modes ----------------------------------------------------

// Register bytes, one bit each: the low byte of `r` at bit 2r, its high
// byte at bit 2r + 1.
constexpr std::uint32_t lo(Reg r) {
  return 1u << (2 * unsigned(r));
}
constexpr std::uint32_t hi(Reg r) {
  return lo(r) << 1;
}
constexpr std::uint32_t both(Reg r) {
  return lo(r) | hi(r);
}
constexpr std::uint32_t kVideoJunk =
    both(Reg::AX) | both(Reg::BX) | both(Reg::CX) | both(Reg::DX) | both(Reg::DI) | both(Reg::BP);
constexpr std::uint16_t kCarryFlag = 0x0001;

constexpr Reg kCompared[] = {Reg::AX, Reg::BX, Reg::CX, Reg::DX, Reg::SI, Reg::DI, Reg::BP,
                             Reg::SP, Reg::IP, Reg::CS, Reg::DS, Reg::ES, Reg::SS};

constexpr const char* kRegisterNames[] = {"AX", "BX", "CX", "DX", "SI", "DI", "BP",
                                          "SP", "IP", "CS", "DS", "ES", "SS", "Flags"};

/// Every register, indexed by Reg.
using Registers = std::array<std::uint16_t, std::size(kRegisterNames)>;

Registers registersOf(const Machine& m) {
  Registers r{};
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = m.get(Reg(i));
  return r;
}

struct ServiceCall {
  const char* name;
  std::uint8_t interrupt;
  std::uint16_t ax, bx, cx, dx, si;
  void (*prepare)(Pc&);   // a key to take, a failure to meet; may be null
  std::uint32_t results;  // bytes that the normal mode may change
  std::uint16_t flags;    // flags that either mode may change
  std::uint32_t junk;     // bytes that the hostile mode changes beyond that
};

constexpr std::uint16_t kCallAt = 0x1000;
constexpr std::uint16_t kInputDi = 0x0D1D, kInputBp = 0x0B0B, kInputSp = 0x7000;
constexpr std::uint16_t kInputFlags = 0x0603;  // interrupts on, direction down, carry

Registers inputOf(const ServiceCall& c) {
  Registers r{};
  r[int(Reg::AX)] = c.ax;
  r[int(Reg::BX)] = c.bx;
  r[int(Reg::CX)] = c.cx;
  r[int(Reg::DX)] = c.dx;
  r[int(Reg::SI)] = c.si;
  r[int(Reg::DI)] = kInputDi;
  r[int(Reg::BP)] = kInputBp;
  r[int(Reg::SP)] = kInputSp;
  r[int(Reg::IP)] = kCallAt;
  r[int(Reg::Flags)] = kInputFlags;
  return r;
}

/// The registers after `int n` of `c` and a `hlt`, on a PC with one disk
/// of 64 sectors and a disk address packet at 0x0500 (sector 1 to 0000:2000).
Registers callService(Pc& pc, const ServiceCall& c) {
  if (pc.disks().size() == 0) pc.disks().add(DiskImage(64));
  const std::uint8_t packet[16] = {0x10, 0, 1, 0, 0x00, 0x20, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  pc.machine().write(0x0500, packet, sizeof packet);
  const std::uint8_t code[] = {0xCD, c.interrupt, 0xF4};
  pc.machine().write(kCallAt, code, sizeof code);
  const Registers input = inputOf(c);
  for (std::size_t i = 0; i < input.size(); ++i) pc.machine().set(Reg(i), input[i]);
  EXPECT_EQ(pc.machine().run(100), Stop::Halted) << c.name;
  return registersOf(pc.machine());
}

const ServiceCall kServiceCalls[] = {
    {"teletype", 0x10, 0x0E41, 0x0007, 0x1111, 0x2222, 0x5151, nullptr, 0, 0, kVideoJunk},
    {"cursor position", 0x10, 0x0300, 0x0007, 0x1111, 0x2222, 0x5151, nullptr,
     both(Reg::CX) | both(Reg::DX), 0,
     both(Reg::AX) | both(Reg::BX) | both(Reg::DI) | both(Reg::BP)},
    {"video mode", 0x10, 0x0F00, 0x1234, 0x1111, 0x2222, 0x5151, nullptr,
     both(Reg::AX) | both(Reg::BX), 0,
     lo(Reg::BX) | both(Reg::CX) | both(Reg::DX) | both(Reg::DI) | both(Reg::BP)},
    {"key", 0x16, 0x0000, 0x0007, 0x1111, 0x2222, 0x5151, [](Pc& pc) { pc.keyboard().type("q"); },
     both(Reg::AX), 0, 0},
    {"reset", 0x13, 0x0000, 0x2000, 0x1111, 0x0080, 0x5151, nullptr, both(Reg::AX), kCarryFlag,
     lo(Reg::AX)},
    {"CHS read", 0x13, 0x0201, 0x2000, 0x0001, 0x0080, 0x5151, nullptr, both(Reg::AX), kCarryFlag,
     lo(Reg::AX)},
    {"CHS read fails", 0x13, 0x0201, 0x2000, 0x0001, 0x0080, 0x5151,
     [](Pc& pc) { pc.disks()[0].failReads = true; }, both(Reg::AX), kCarryFlag, both(Reg::AX)},
    {"CHS write", 0x13, 0x0301, 0x2000, 0x0001, 0x0080, 0x5151, nullptr, both(Reg::AX), kCarryFlag,
     lo(Reg::AX)},
    {"no such drive", 0x13, 0x0201, 0x2000, 0x0001, 0x0081, 0x5151, nullptr, both(Reg::AX),
     kCarryFlag, both(Reg::AX)},
    {"geometry", 0x13, 0x0800, 0x1234, 0x1111, 0x0080, 0x5151, nullptr,
     both(Reg::AX) | both(Reg::BX) | both(Reg::CX) | both(Reg::DX), kCarryFlag,
     lo(Reg::AX) | lo(Reg::BX) | both(Reg::ES) | both(Reg::DI)},
    {"geometry fails", 0x13, 0x0800, 0x1234, 0x1111, 0x0080, 0x5151,
     [](Pc& pc) { pc.disks()[0].failGeometry = true; }, both(Reg::AX), kCarryFlag,
     both(Reg::AX) | lo(Reg::BX) | both(Reg::CX) | both(Reg::DX) | both(Reg::ES) | both(Reg::DI)},
    {"extensions", 0x13, 0x4100, 0x55AA, 0x1111, 0x0080, 0x5151, nullptr,
     both(Reg::AX) | both(Reg::BX) | both(Reg::CX), kCarryFlag, lo(Reg::AX) | hi(Reg::DX)},
    {"no extensions", 0x13, 0x4100, 0x55AA, 0x1111, 0x0080, 0x5151,
     [](Pc& pc) { pc.disks()[0].extensions = false; }, both(Reg::AX), kCarryFlag,
     both(Reg::AX) | both(Reg::BX) | both(Reg::CX) | hi(Reg::DX)},
    {"extended read", 0x13, 0x4200, 0x1234, 0x1111, 0x0080, 0x0500, nullptr, both(Reg::AX),
     kCarryFlag, lo(Reg::AX)},
};

const ServiceCall& serviceCall(const char* name) {
  for (const ServiceCall& c : kServiceCalls)
    if (std::strcmp(c.name, name) == 0) return c;
  return kServiceCalls[0];
}

TEST(BiosModes, EachServiceChangesOnlyWhatItDocuments) {
  // Normal: the results and nothing else. Hostile: the same results, with
  // junk in exactly the bytes the service documents as undefined or leaves
  // free (every byte of the six registers after INT 10h).
  for (const ServiceCall& c : kServiceCalls) {
    SCOPED_TRACE(c.name);
    Pc normalPc(BiosMode::Normal), hostilePc(BiosMode::Hostile, 7);
    for (Pc* pc : {&normalPc, &hostilePc}) {
      pc->disks().add(DiskImage(64));
      if (c.prepare) c.prepare(*pc);
    }
    const Registers normal = callService(normalPc, c);
    const Registers hostile = callService(hostilePc, c);
    Registers input = inputOf(c);
    input[int(Reg::IP)] += 3;  // past `int n` and the `hlt`
    for (Reg r : kCompared) {
      for (bool high : {false, true}) {
        const unsigned shift = high ? 8 : 0;
        const std::uint32_t bit = high ? hi(r) : lo(r);
        const int before = input[int(r)] >> shift & 0xFF;
        const int n = normal[int(r)] >> shift & 0xFF;
        const int h = hostile[int(r)] >> shift & 0xFF;
        const std::string name = std::string(kRegisterNames[int(r)]) + (high ? " high" : " low");
        if (!(c.results & bit)) {
          EXPECT_EQ(n, before) << "normal mode changed register " << name;
        }
        if (c.junk & bit) {
          EXPECT_NE(h, n) << "hostile mode kept register " << name;
        } else {
          EXPECT_EQ(h, n) << "hostile mode changed register " << name;
        }
      }
    }
    const std::uint16_t flags = normal[int(Reg::Flags)];
    EXPECT_EQ((flags ^ kInputFlags) & ~c.flags, 0) << std::hex << flags;
    EXPECT_EQ(hostile[int(Reg::Flags)], flags);
  }
  // Whatever the junk, a failed disk call never reports status 0.
  Pc pc(BiosMode::Hostile, 3);
  pc.disks().add(DiskImage(64)).failReads = true;
  for (int i = 0; i < 20; ++i)
    EXPECT_NE(callService(pc, serviceCall("CHS read fails"))[int(Reg::AX)] >> 8, 0);
}

TEST(BiosModes, HostileJunkDiffersPerCallAndRepeatsPerSeed) {
  const ServiceCall& teletype = serviceCall("teletype");
  // The six registers after the first call, then after the second.
  auto twoCalls = [&](std::uint64_t seed) {
    Pc pc(BiosMode::Hostile, seed);
    std::vector<std::uint16_t> out;
    for (int call = 0; call < 2; ++call) {
      Registers r = callService(pc, teletype);
      for (Reg reg : {Reg::AX, Reg::BX, Reg::CX, Reg::DX, Reg::DI, Reg::BP})
        out.push_back(r[int(reg)]);
    }
    EXPECT_EQ(pc.screen().line(0), "AA") << "the teletype still works";
    return out;
  };
  std::vector<std::uint16_t> run = twoCalls(11);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NE(run[i], run[i + 6]) << "register " << i;
  EXPECT_EQ(twoCalls(11), run);
  EXPECT_NE(twoCalls(12), run);
}

TEST(BiosModes, TeletypeShowsPageZeroOnly) {
  for (BiosMode mode : {BiosMode::Normal, BiosMode::Hostile}) {
    Pc pc(mode);
    ServiceCall page1 = serviceCall("teletype");
    page1.bx = 0x0107;
    callService(pc, page1);
    EXPECT_EQ(pc.screen().transcript(), "") << biosModeName(mode);
    callService(pc, serviceCall("teletype"));
    EXPECT_EQ(pc.screen().transcript(), "A") << biosModeName(mode);
  }
}

TEST(BiosModes, EntryRegisters) {
  // Normal: fixed odd values and DL = 0x80. Hostile: junk in everything but
  // CS:IP, different per seed, DL and the interrupt and direction flags
  // included; never the trap flag.
  const std::vector<std::uint8_t> halt = {0xF4};
  auto entry = [&](BiosMode mode, std::uint64_t seed, int drive = -1) {
    Pc pc(mode, seed);
    pc.disks().add(bootDisk(halt));
    if (drive >= 0) pc.setEntryDrive(std::uint8_t(drive));
    EXPECT_EQ(pc.boot(), Stop::Halted);
    Registers r = registersOf(pc.machine());
    EXPECT_EQ(r[int(Reg::CS)], 0);
    EXPECT_EQ(r[int(Reg::IP)], 0x7C01) << "entered at 0000:7C00";
    EXPECT_EQ(r[int(Reg::Flags)] & 0x0100, 0) << "trap flag";
    return r;
  };
  auto dl = [](const Registers& r) { return r[int(Reg::DX)] & 0xFF; };
  EXPECT_EQ(dl(entry(BiosMode::Normal, 1)), 0x80);
  EXPECT_EQ(entry(BiosMode::Normal, 2), entry(BiosMode::Normal, 1));

  std::map<Reg, std::set<std::uint16_t>> seen;
  std::set<int> drives;
  std::set<bool> interrupts, direction;
  for (std::uint64_t seed = 1; seed <= 16; ++seed) {
    Registers r = entry(BiosMode::Hostile, seed);
    for (Reg reg : {Reg::AX, Reg::BX, Reg::CX, Reg::DX, Reg::SI, Reg::DI, Reg::BP, Reg::SP, Reg::DS,
                    Reg::ES, Reg::SS})
      seen[reg].insert(r[int(reg)]);
    drives.insert(dl(r));
    interrupts.insert((r[int(Reg::Flags)] & 0x0200) != 0);
    direction.insert((r[int(Reg::Flags)] & 0x0400) != 0);
  }
  for (const auto& [reg, values] : seen) EXPECT_GT(values.size(), 8u) << kRegisterNames[int(reg)];
  EXPECT_GT(drives.size(), 8u);
  EXPECT_EQ(interrupts.size(), 2u);
  EXPECT_EQ(direction.size(), 2u);

  for (BiosMode mode : {BiosMode::Normal, BiosMode::Hostile})
    for (int drive : {0x00, 0x81, 0xFF}) EXPECT_EQ(dl(entry(mode, 5, drive)), drive);
}

}  // namespace
}  // namespace vornboot::bench
