// The alarm kept on disk: replaced whole, read back, and a doubt when it cannot be read.
#include "cycle/alarmstore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(AlarmStore, RecordsReplaceEachOtherWholeAndDoubtCountsAsAlarm)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("alarmstate.json"));
    EXPECT_FALSE(AlarmStore::Read(path).has_value()) << "no record: no alarm";
    const StoredAlarm raised{1, 0b101, QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5, 600))};
    ASSERT_TRUE(AlarmStore::Write(raised, path));
    const std::optional<StoredAlarm> back = AlarmStore::Read(path);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->stage == 1 && back->cameras == 0b101u && back->since == raised.since);
    ASSERT_TRUE(AlarmStore::Write(std::nullopt, path));
    EXPECT_FALSE(AlarmStore::Read(path).has_value());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file left";

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{\"alarm\": tr");  // a damaged disk
    file.close();
    ASSERT_TRUE(AlarmStore::Read(path).has_value());
    EXPECT_EQ(AlarmStore::Read(path)->stage, StoredAlarm::kUnknownStage);
    EXPECT_FALSE(AlarmStore::Write(raised, dir.filePath(QStringLiteral("missing/alarmstate.json"))));
}
