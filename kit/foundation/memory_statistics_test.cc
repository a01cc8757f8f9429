// Tests of the device memory statistics and their replaceable source.
#include "kit/foundation/memory_statistics.h"

#include <gtest/gtest.h>


TEST(MemoryStatistics, SystemFiguresAndAnInstalledSource) {
  const kit::MemoryStatistics system = kit::currentMemoryStatistics();
  EXPECT_GT(system.physicalBytes, 0);
  EXPECT_GT(system.freeBytes, 0);
  EXPECT_LE(system.freeBytes, system.physicalBytes);
  kit::setMemoryStatisticsSource([] { return kit::MemoryStatistics{100, -1}; });
  EXPECT_EQ(kit::currentMemoryStatistics().freeBytes, -1);
  kit::setMemoryStatisticsSource(nullptr);
  EXPECT_EQ(kit::currentMemoryStatistics().physicalBytes, system.physicalBytes);
}
