#include "links/fphostcontrol.h"

#include <gtest/gtest.h>

#include <set>

namespace tallyhost {
namespace {

TEST(HostLinkSequence, ProtocolChangeReseedsTheSequenceInTheNewRange)
{
    // A change of protocol must not carry the old counter over: the kept value restarts at a
    // random point of the new range, so first sequence bytes differ from one change to the
    // next instead of always being the lowest value of the range.
    TFPHostControl link;
    std::set<int> firstExtended, firstCompatible;
    for (int i = 0; i < 40; ++i) {
        link.SetProtocolType(protocol_Extended);
        const int extended = link.GetNextSequenceNumber();
        EXPECT_GE(extended, 0x81);
        EXPECT_LE(extended, 0xFF);
        firstExtended.insert(extended);
        link.SetProtocolType(protocol_Compatible);
        const int compatible = link.GetNextSequenceNumber();
        EXPECT_GE(compatible, 0x20);
        EXPECT_LE(compatible, 0x7F);
        firstCompatible.insert(compatible);
    }
    EXPECT_GT(firstExtended.size(), 1u);
    EXPECT_GT(firstCompatible.size(), 1u);

    // Writing the value it already has is no change: the counter just goes on.
    const int before = link.GetNextSequenceNumber();
    link.SetProtocolType(protocol_Compatible);
    EXPECT_EQ(link.GetNextSequenceNumber(), before == 0x7F ? 0x20 : before + 1);
}

} // namespace
} // namespace tallyhost
