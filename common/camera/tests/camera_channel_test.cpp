#include <gtest/gtest.h>

#include "camera_protocol.h"

TEST(FileNameRecord, OneLetterNameAndExtension) {
    uint8_t record[camera::kFileNameRecordSize];
    camera::BuildFileNameRecord("A", "B", record);
    const uint8_t expected[12] = {0x41, 0, 0, 0, 0, 0, 0, 0, 0x42, 0, 0, 0};
    EXPECT_EQ(0, memcmp(expected, record, sizeof expected));
}
