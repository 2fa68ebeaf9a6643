#include "video/dvfacts.h"

namespace vidora::test {

QDateTime recordedAt(int seconds)
{
    return QDateTime(QDate(2006, 5, 14), QTime(10, 0, 0)).addSecs(seconds);
}

DvFrame buildDvFrame(const DvFacts &facts)
{
    DvFrame frame(facts.standard);
    if (facts.recorded.isValid()) {
        const QDate date = facts.recorded.date();
        const QTime time = facts.recorded.time();
        const DvPackBytes datePack = recDatePack(date.day(), date.month(), date.year() % 100);
        const DvPackBytes timePack = recTimePack(time.hour(), time.minute(), time.second());
        frame.setPack(vauxSlot(0, 2, 11), datePack).setPack(vauxSlot(0, 2, 12), timePack);
        for (int s = 0; s < frame.sequences(); ++s)
            frame.setPack(subcodeSlot(s, 1, 2), datePack).setPack(subcodeSlot(s, 1, 3), timePack);
    }
    if (facts.timecodeFrames) {
        for (int s = 0; s < frame.sequences(); ++s)
            frame.setPack(subcodeSlot(s, 0, 0), timecodePack(1, 2, 3, *facts.timecodeFrames));
    }
    if (facts.aux) {
        frame.setPack(vauxSlot(0, 0, 0), vauxSourceControlPack(facts.wide ? 2 : 0));
        const auto pc2 = static_cast<std::uint8_t>(facts.fourChannels ? 0x10 : 0x00);
        const auto pc4 =
            static_cast<std::uint8_t>(0xC0 | (facts.rateCode << 3) | facts.quantisation);
        frame.setAauxPack(0, 0, aauxSourcePack(0xD0, pc2, 0xE0, pc4));
    }
    return frame;
}

} // namespace vidora::test
