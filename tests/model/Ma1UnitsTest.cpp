#include <gtest/gtest.h>
#include <cmath>

#include "model/Ma1Units.h"

namespace talmeru {
namespace {

// Each inverse gives back what its forward conversion was given, within the forward's rounding.
TEST(Ma1UnitsTest, InversesUndoTheirConversions) {
    struct RootCase {
        double key, rate;
    };
    for (const RootCase& c : std::initializer_list<RootCase>{
             {60, 88200}, {60, 44100}, {72.5, 22050}, {28.12, 44100}, {100, 48000}, {0, 11025}}) {
        const int pitch = static_cast<int>(
            std::trunc(256.0 * (c.key - 60.0 - 12.0 * std::log2(c.rate / 88200.0)) + 0.5));
        EXPECT_NEAR(units::RootKeyForPitch(pitch, c.rate), c.key, 1.5 / 256) << c.key;
        // The key the root names plays the data at their own rate.
        EXPECT_NEAR(units::PlaybackFramesPerSecond(units::RootKeyForPitch(pitch, c.rate), pitch),
                    c.rate, c.rate * 1e-9);
    }
    struct LevelCase {
        double db;
        int level;
    };
    for (const LevelCase& c :
         std::initializer_list<LevelCase>{{0, 127}, {-48, 64}, {-96, 0}, {-12, 111}, {-200, 0}}) {
        EXPECT_EQ(units::EnvLevelForDb(c.db), c.level) << c.db;
        EXPECT_NEAR(units::DbForEnvLevel(c.level), std::max(c.db, -96.0), 96.0 / 127 / 2 + 1e-9);
    }
    for (int pan = 0; pan <= 31; ++pan)
        EXPECT_EQ(units::PanForPosition(units::PanPosition(pan)), pan);
    EXPECT_EQ(units::PanForPosition(-3), 0);
    EXPECT_EQ(units::PanPosition(15), 0.0);  // a new layer's pan is the centre
    EXPECT_EQ(units::PanForPosition(0.0), 15);
    EXPECT_EQ(units::PanForPosition(3), 31);
}

}  // namespace
}  // namespace talmeru
