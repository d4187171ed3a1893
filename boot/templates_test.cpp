#include "boot/templates.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/sector_format.h"

namespace vornboot {
namespace {

using boot::kExtendedReadStep;
using boot::kResidentTemplate;
using boot::kStandardTemplate;

std::uint16_t word(const std::uint8_t* bytes, unsigned offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::uint16_t addressOf(unsigned offset) {
  return static_cast<std::uint16_t>(layout::kLoadBase + offset);
}

std::string textAt(const std::uint8_t* bytes, unsigned offset) {
  return std::string(reinterpret_cast<const char*>(bytes + offset));
}

// The default texts stand back to back from the text area on.
struct DefaultText {
  const char* text;
  unsigned offset;
};
constexpr unsigned kPromptAt = layout::kTextArea;
constexpr unsigned kWrongAt = 298;
constexpr unsigned kOkAt = 306;
constexpr unsigned kDiskErrorAt = 312;
constexpr unsigned kTextsEnd = 328;

TEST(ResidentTemplate, BannerAndDefaultTexts) {
  const DefaultText texts[] = {
      {layout::kBannerText, layout::kBanner},    {layout::kDefaultPrompt, kPromptAt},
      {layout::kDefaultWrong, kWrongAt},         {layout::kDefaultOk, kOkAt},
      {layout::kDefaultDiskError, kDiskErrorAt},
  };
  unsigned next = layout::kBanner;
  for (const DefaultText& t : texts) {
    SCOPED_TRACE(t.offset);
    EXPECT_EQ(t.offset, next) << "texts are not back to back";
    EXPECT_EQ(textAt(kResidentTemplate, t.offset), t.text);
    next = t.offset + static_cast<unsigned>(std::strlen(t.text)) + 1;
  }
  EXPECT_EQ(next, kTextsEnd);
}

TEST(ResidentTemplate, ZeroAreaAndMarker) {
  for (unsigned i = kTextsEnd; i < layout::kMarker; ++i) {
    EXPECT_EQ(kResidentTemplate[i], 0) << "offset " << i;
  }
  EXPECT_EQ(word(kResidentTemplate, layout::kMarker), layout::kMarkerValue);
  EXPECT_EQ(kResidentTemplate[layout::kMarker], 'B');
  EXPECT_EQ(kResidentTemplate[layout::kMarker + 1], 'M');
}

// Every slot is the immediate operand of an instruction whose opcode byte
// stands just before it, and holds its unpatched value.
struct Slot {
  unsigned offset;
  unsigned width;
  std::uint8_t opcode;
  std::uint16_t value;
};

TEST(ResidentTemplate, PatchSlotsHoldTheirUnpatchedValues) {
  const Slot slots[] = {
      {layout::kSlotFirstEntry, 16, 0xBE, 0},  // mov si
      {layout::kSlotDiskCount, 16, 0xBA, 1},   // mov dx; high byte 0
      {layout::kSlotPromptText, 16, 0xBE, addressOf(kPromptAt)},
      {layout::kSlotWrongText, 16, 0xBE, addressOf(kWrongAt)},
      {layout::kSlotOkText, 16, 0xBE, addressOf(kOkAt)},
      {layout::kSlotLastDrive, 16, 0xBA, 0x80},  // mov dx; high byte 0
      {layout::kSlotMapTable, 16, 0xBF, 0},      // mov di
      {layout::kSlotMapLength, 8, 0xB1, 0},      // mov cl
      {layout::kSlotDiskErrorText, 16, 0xBE, addressOf(kDiskErrorAt)},
      {layout::kSlotDiskErrorTextChs, 16, 0xBE, addressOf(kDiskErrorAt)},
  };
  for (const Slot& s : slots) {
    SCOPED_TRACE(s.offset);
    EXPECT_EQ(kResidentTemplate[s.offset - 1], s.opcode);
    const std::uint16_t value =
        s.width == 16 ? word(kResidentTemplate, s.offset) : kResidentTemplate[s.offset];
    EXPECT_EQ(value, s.value);
  }
  EXPECT_EQ(addressOf(kPromptAt), 0x0718);
  EXPECT_EQ(addressOf(kDiskErrorAt), 0x0738);
}

TEST(ResidentTemplate, StartUpJumpWrapsToTheRelocatedCode) {
  EXPECT_EQ(kResidentTemplate[27], 0xE9);
  EXPECT_EQ(kResidentTemplate[28], 0x00);
  EXPECT_EQ(kResidentTemplate[29], 0x8A);
  // Executed at 0000:7C1B; the 16-bit instruction pointer wraps.
  const std::uint16_t target =
      static_cast<std::uint16_t>(0x7C00 + layout::kStartupEnd + word(kResidentTemplate, 28));
  EXPECT_EQ(target, addressOf(layout::kStartupEnd));
  // The copy moves words 30..443: mov cx, 0xCF before rep movsw.
  EXPECT_EQ(kResidentTemplate[19], 0xB9);
  EXPECT_EQ(word(kResidentTemplate, 20), (layout::kMarker - layout::kStartupEnd) / 2);
}

TEST(ResidentTemplate, ExtendedReadStepReplacesTheChsStep) {
  static_assert(sizeof(kExtendedReadStep) == layout::kBootStepSize);
  EXPECT_NE(
      std::memcmp(kExtendedReadStep, kResidentTemplate + layout::kBootStep, layout::kBootStepSize),
      0);
  // Both steps end where the print routine begins: the extended one with
  // "jmp bx" (to 0x7C00), the CHS one by falling into the routine.
  EXPECT_EQ(kExtendedReadStep[18], 0xFF);
  EXPECT_EQ(kExtendedReadStep[19], 0xE3);
}

struct StandardMessage {
  const char* text;
  unsigned offset;
  std::uint8_t addressByte;
};

TEST(StandardTemplate, MessagesAndTheirAddressBytes) {
  const StandardMessage messages[] = {
      {"Invalid partition table", 300, 0x2C},
      {"Error loading operating system", 324, 0x44},
      {"Missing operating system", 355, 0x63},
  };
  for (unsigned i = 0; i < 3; ++i) {
    const StandardMessage& m = messages[i];
    SCOPED_TRACE(m.text);
    EXPECT_EQ(textAt(kStandardTemplate, m.offset), m.text);
    const std::uint8_t stored = kStandardTemplate[layout::kStandardMessageBytes + i];
    EXPECT_EQ(stored, m.addressByte);
    EXPECT_EQ(layout::kStandardMessagePage + stored, addressOf(m.offset));
  }
}

TEST(StandardTemplate, ZerosAroundTheMessages) {
  for (unsigned i = 380; i < layout::kStandardMessageBytes; ++i) {
    EXPECT_EQ(kStandardTemplate[i], 0) << "offset " << i;
  }
  for (unsigned i = mbr::kDiskSignature; i < layout::kTemplateSize; ++i) {
    EXPECT_EQ(kStandardTemplate[i], 0) << "offset " << i;
  }
  EXPECT_NE(word(kStandardTemplate, layout::kMarker), layout::kMarkerValue);
}

TEST(StandardTemplate, RelocatesWithAFarReturn) {
  // mov cx, 485 / rep movsb / retf end the start-up at offset 26.
  EXPECT_EQ(kStandardTemplate[21], 0xB9);
  EXPECT_EQ(word(kStandardTemplate, 22), 485);
  EXPECT_EQ(kStandardTemplate[24], 0xF3);
  EXPECT_EQ(kStandardTemplate[25], 0xA4);
  EXPECT_EQ(kStandardTemplate[26], 0xCB);
}

}  // namespace
}  // namespace vornboot
