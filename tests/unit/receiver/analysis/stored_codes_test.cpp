// The codes users' settings files hold, pinned: a change to the protocol
// table, the recogniser or the hash that moves any of these breaks every
// key learned under it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/code_text.h"
#include "receiver/analysis/burst_codes.h"

namespace orbisk {
namespace {

// (protocol, scancode) -> its stable code, its older code with no skip and
// with a skip of 4 (0 where the protocol has none), and its text.
TEST(StoredCodes, EveryProtocolsCodesStayPut) {
    const struct {
        IrProtocol protocol;
        std::uint32_t scancode;
        const char* stable;
        const char* older;
        const char* olderSkip4;
        const char* text;
    } cases[] = {
        {IrProtocol::Nec, 0x408, "30781B59", "624CC985", "2D4CAD19", "NEC 0x04 0x08 (nec:0x0408)"},
        {IrProtocol::Nec, 0xFF00, "C429EE4", "E2B21DDD", "4EE5F173", "NEC 0xFF 0x00 (nec:0xff00)"},
        {IrProtocol::Necx, 0x12340A, "C98BA239", "650B7142", "7AC08C34", "NEC-X 0x1234 0x0A (necx:0x12340a)"},
        {IrProtocol::Necx, 0xFFFF01, "75A3CC29", "F9FCE82D", "988462EA", "NEC-X 0xFFFF 0x01 (necx:0xffff01)"},
        {IrProtocol::Nec32, 0x12345678, "D2528A26", "7FB5718E", "D17A4E18", "NEC-32 0x1234 0x5678 (nec32:0x12345678)"},
        {IrProtocol::Nec32, 0xFFFFFFFF, "8959DA49", "66670D15", "5ACAEB97", "NEC-32 0xFFFF 0xFFFF (nec32:0xffffffff)"},
        {IrProtocol::Samsung32, 0x702, "3FE9FEDA", "4DA245F1", "FEB30267", "Samsung32 0x07 0x02 (samsung32:0x0702)"},
        {IrProtocol::Samsung32, 0xE0E0, "6982035F", "CB1E7F9B", "50E8FF7C", "Samsung32 0xE0 0xE0 (samsung32:0xe0e0)"},
        {IrProtocol::Jvc, 0x312, "68C63D6C", "7CC49514", "E30540BA", "JVC 0x03 0x12 (jvc:0x0312)"},
        {IrProtocol::Jvc, 0xFFFF, "1DC957FE", "E84AAB08", "E2002AB7", "JVC 0xFF 0xFF (jvc:0xffff)"},
        {IrProtocol::Sony12, 0x10015, "230FD041", "25FCE685", "8BC0F0EB", "Sony12 0x01 0x15 (sony12:0x10015)"},
        {IrProtocol::Sony12, 0x1F007F, "8059EA0F", "704B60E6", "4E06B4AE", "Sony12 0x1F 0x7F (sony12:0x1f007f)"},
        {IrProtocol::Sony15, 0x970012, "EB34DD1F", "AFFD8054", "822F3B68", "Sony15 0x97 0x12 (sony15:0x970012)"},
        {IrProtocol::Sony15, 0xFF007F, "28BE41B8", "DA77436D", "5EACAD6B", "Sony15 0xFF 0x7F (sony15:0xff007f)"},
        {IrProtocol::Sony20, 0x1A3A45, "BDCB6512", "C07B8A01", "6ACA66CE", "Sony20 0x1A3A 0x45 (sony20:0x1a3a45)"},
        {IrProtocol::Sony20, 0x1FFF7F, "F7640077", "29B99EB", "8B2D3645", "Sony20 0x1FFF 0x7F (sony20:0x1fff7f)"},
        {IrProtocol::Sharp, 0x1A5C, "6A4797C8", "11FAD754", "9AC2C605", "Sharp 0x1A 0x5C (sharp:0x1a5c)"},
        {IrProtocol::Sharp, 0x1FFF, "B1A1A090", "5C86F943", "9C50F94", "Sharp 0x1F 0xFF (sharp:0x1fff)"},
        {IrProtocol::Rc5, 0x535, "A8925322", "BF4CC931", "FD87D1DD", "RC-5 0x05 0x35 toggle 0 (rc5:0x0535)"},
        {IrProtocol::Rc5, 0x1F7F, "AF153227", "EBB86F5B", "3B8708C9", "RC-5 0x1F 0x7F toggle 0 (rc5:0x1f7f)"},
        {IrProtocol::Rc5x20, 0x1A4C25, "870EF46F", "783760B1", "EA127FE2", "RC-5X 0x1A 0x4C25 toggle 0 (rc5x_20:0x1a4c25)"},
        {IrProtocol::Rc5x20, 0x1F7F3F, "79E906D3", "55821255", "E7259DD6", "RC-5X 0x1F 0x7F3F toggle 0 (rc5x_20:0x1f7f3f)"},
        {IrProtocol::Rc6_0, 0x40C, "78759BA8", "40330E25", "21AD09B3", "RC-6 0x04 0x0C toggle 0 (rc6_0:0x040c)"},
        {IrProtocol::Rc6_0, 0xFFFF, "50B5B2AC", "2B970F46", "34E3517", "RC-6 0xFF 0xFF toggle 0 (rc6_0:0xffff)"},
        {IrProtocol::Rc6_6a20, 0xA1234, "70668893", "1EA86D2", "CE365B16", "RC-6 6A-20 0x0A 0x1234 (rc6_6a_20:0xa1234)"},
        {IrProtocol::Rc6_6a20, 0xFFFFF, "EFAC92E0", "8BD7CDD8", "5CD1D6F9", "RC-6 6A-20 0x0F 0xFFFF (rc6_6a_20:0xfffff)"},
        {IrProtocol::Rc6_6a24, 0xA12345, "B127B585", "BE8D8823", "698B9302", "RC-6 6A-24 0xA1 0x2345 (rc6_6a_24:0xa12345)"},
        {IrProtocol::Rc6_6a24, 0xFFFFFF, "D17C0F08", "E6E87FAA", "B08135C9", "RC-6 6A-24 0xFF 0xFFFF (rc6_6a_24:0xffffff)"},
        {IrProtocol::Rc6_6a32, 0x12345678, "218D76B5", "07D99D0", "6FE8EC63", "RC-6 6A-32 0x1234 0x5678 (rc6_6a_32:0x12345678)"},
        {IrProtocol::Rc6_6a32, 0xFFFFFFFF, "32D6FB3A", "E3390B41", "E3F10BE3", "RC-6 6A-32 0xFFFF 0xFFFF (rc6_6a_32:0xffffffff)"},
        {IrProtocol::Rc6Mce, 0x800F0410, "B3D04FAE", "5C0ABE96", "1472715F", "RC-6 MCE 0x800F 0x410 toggle 0 (rc6_mce:0x800f0410)"},
        {IrProtocol::Rc6Mce, 0x800F7FFF, "A83EAD8C", "53F3C62E", "1B8B09E7", "RC-6 MCE 0x800F 0x7FFF toggle 0 (rc6_mce:0x800f7fff)"},
        {IrProtocol::Denon, 0x2E1, "32D50779", "0000000", "0000000", "Denon 0x02 0xE1 (denon:0x02e1)"},
        {IrProtocol::Denon, 0x1FFF, "9137930F", "0000000", "0000000", "Denon 0x1F 0xFF (denon:0x1fff)"},
        {IrProtocol::Panasonic, 0x80320, "45997149", "0000000", "0000000", "Panasonic 0x803 0x20 (panasonic:0x80320)"},
        {IrProtocol::Panasonic, 0xFFFFF, "E7A526BF", "0000000", "0000000", "Panasonic 0xFFF 0xFF (panasonic:0xfffff)"},
        {IrProtocol::DenonK, 0x41320, "9C72E43", "0000000", "0000000", "Denon-K 0x413 0x20 (denon_k:0x41320)"},
        {IrProtocol::DenonK, 0xFFFFF, "C75D4270", "0000000", "0000000", "Denon-K 0xFFF 0xFF (denon_k:0xfffff)"},
        {IrProtocol::Jvc48, 0xF00FF, "ADD44FFA", "0000000", "0000000", "JVC-48 0xF00 0xFF (jvc48:0xf00ff)"},
        {IrProtocol::Jvc48, 0x12345, "20BCD606", "0000000", "0000000", "JVC-48 0x123 0x45 (jvc48:0x12345)"},
        {IrProtocol::SharpK, 0x18F30A, "558F5D57", "0000000", "0000000", "Sharp-K 0x18F3 0x0A (sharp_k:0x18f30a)"},
        {IrProtocol::SharpK, 0xFFFFFF, "910E9F46", "0000000", "0000000", "Sharp-K 0xFFFF 0xFF (sharp_k:0xffffff)"},
        {IrProtocol::Samsung36, 0x7070A12, "364E7FA4", "0000000", "0000000", "Samsung36 0x707 0xA12 (samsung36:0x7070a12)"},
        {IrProtocol::Samsung36, 0xFFFF0FFF, "6BC2D32B", "0000000", "0000000", "Samsung36 0xFFFF 0xFFF (samsung36:0xffff0fff)"},
        {IrProtocol::Sanyo, 0x1ABC12, "A56EB60B", "0000000", "0000000", "NEC42 0x1ABC 0x12 (sanyo:0x1abc12)"},
        {IrProtocol::Sanyo, 0x1FFFFF, "F9CF4E8", "0000000", "0000000", "NEC42 0x1FFF 0xFF (sanyo:0x1fffff)"},
        {IrProtocol::Nec48, 0x1FE0313, "DF6BCC8E", "0000000", "0000000", "NEC-48 0x1FE 0x313 (nec48:0x1fe0313)"},
        {IrProtocol::Nec48, 0xFFFFFFFF, "30BBD066", "0000000", "0000000", "NEC-48 0xFFFF 0xFFFF (nec48:0xffffffff)"},
        {IrProtocol::Nec16, 0xF452, "21D9BB8", "0000000", "0000000", "NEC-16 0xF4 0x52 (nec16:0xf452)"},
        {IrProtocol::Nec16, 0xFFFF, "686F289E", "0000000", "0000000", "NEC-16 0xFF 0xFF (nec16:0xffff)"},
        {IrProtocol::GiCable, 0x51A, "E07F3DD", "0000000", "0000000", "GI Cable 0x05 0x1A (gicable:0x051a)"},
        {IrProtocol::GiCable, 0xFFF, "E2B0A25F", "0000000", "0000000", "GI Cable 0x0F 0xFF (gicable:0x0fff)"},
        {IrProtocol::Rca, 0xF12, "3EE21C0C", "0000000", "0000000", "RCA 0x0F 0x12 (rca:0x0f12)"},
        {IrProtocol::Rca, 0xFFF, "1637FCCD", "0000000", "0000000", "RCA 0x0F 0xFF (rca:0x0fff)"},
        {IrProtocol::Rcmm12, 0x9C3, "2DC74B0F", "0000000", "0000000", "RC-MM-12 0x09 0xC3 (rcmm12:0x09c3)"},
        {IrProtocol::Rcmm12, 0xFFF, "71970CB2", "0000000", "0000000", "RC-MM-12 0x0F 0xFF (rcmm12:0x0fff)"},
        {IrProtocol::Rcmm24, 0x123456, "42AFC591", "0000000", "0000000", "RC-MM-24 0x1234 0x56 (rcmm24:0x123456)"},
        {IrProtocol::Rcmm24, 0xFFFFFF, "6723993D", "0000000", "0000000", "RC-MM-24 0xFFFF 0xFF (rcmm24:0xffffff)"},
        {IrProtocol::Rcmm32, 0x8F0E1D2C, "8367B05B", "0000000", "0000000", "RC-MM-32 0x8F0E 0x1D2C (rcmm32:0x8f0e1d2c)"},
        {IrProtocol::Rcmm32, 0xFFFFFFFF, "A7CDC886", "0000000", "0000000", "RC-MM-32 0xFFFF 0xFFFF (rcmm32:0xffffffff)"},
        {IrProtocol::XmpHalf, 0x10F443E, "A3A88E6B", "0000000", "0000000", "XMP half 0x10F 0x443E (xmp_half:0x10f443e)"},
        {IrProtocol::XmpHalf, 0xFFFFFFF, "23C02039", "0000000", "0000000", "XMP half 0xFFF 0xFFFF (xmp_half:0xfffffff)"},
        {IrProtocol::Xiaomi, 0x893CE, "EAE59642", "0000000", "0000000", "Xiaomi 0x893 0xCE (xiaomi:0x893ce)"},
        {IrProtocol::Xiaomi, 0xFFFFF, "92F1647D", "0000000", "0000000", "Xiaomi 0xFFF 0xFF (xiaomi:0xfffff)"},
    };
    for (const auto& c : cases) {
        const IrFrame frame{c.protocol, c.scancode, false};
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CodeText(StableCode(frame)), c.stable);
        EXPECT_EQ(CodeText(OlderCode(frame, 0)), c.older);
        EXPECT_EQ(CodeText(OlderCode(frame, 4)), c.olderSkip4);
        EXPECT_EQ(DescribeIrFrame(frame), c.text);
    }
}

// The shape code with recognition off: the burst's own, with no skip and
// with a skip of 4, an even length dropping its first byte.
TEST(StoredCodes, ShapeCodesStayPut) {
    const struct {
        std::vector<std::uint8_t> burst;
        const char* code;
        const char* skip4;
    } cases[] = {
        {{180, 90, 11, 11, 11, 34, 12, 33, 11, 11, 12, 11, 11, 34, 11, 12}, "24322CE2", "C0FE421F"},
        {{3, 7, 3, 7, 3, 15, 3, 7, 3, 15, 3}, "6A7C2DC6", "AC200363"},
        {{18, 9, 18, 18, 9, 9, 18, 9, 9, 9, 18, 9, 9}, "9B327D04", "10053A99"},
        {{0, 1, 200, 253, 2, 5, 5, 9, 250}, "984E7170", "66D1B16B"},
        {{}, "0942D4E", "0942D4E"},
        {{40}, "999D7CF4", "0942D4E"},
    };
    for (const auto& c : cases) {
        const int length = static_cast<int>(c.burst.size());
        EXPECT_EQ(CodeText(DecodeBurst(c.burst.data(), length, 0)), c.code);
        EXPECT_EQ(CodeText(DecodeBurst(c.burst.data(), length, 4)), c.skip4);
        EXPECT_EQ(CodeText(DecodeBurstCodes(c.burst.data(), length, 0, false).code), c.code);
    }
}

}  // namespace
}  // namespace orbisk
