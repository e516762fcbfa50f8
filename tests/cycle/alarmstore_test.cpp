// The alarm kept on disk: written whole, read back, and a doubt when it cannot be read.
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

    StoredAlarm raised;
    raised.stage = 1;
    raised.cameras = 0b101;
    raised.since = QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5, 600));
    ASSERT_TRUE(AlarmStore::Write(raised, path));
    const std::optional<StoredAlarm> back = AlarmStore::Read(path);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->stage, 1);
    EXPECT_EQ(back->cameras, 0b101u);
    EXPECT_EQ(back->since, raised.since);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("alarmstate.json")})
        << "no temporary file left";

    ASSERT_TRUE(AlarmStore::Write(std::nullopt, path));
    EXPECT_FALSE(AlarmStore::Read(path).has_value());

    for (const QByteArray &damaged : {QByteArray(), QByteArray("{\"alarm\": tr"), QByteArray("[1, 2]")}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();
        const std::optional<StoredAlarm> doubt = AlarmStore::Read(path);
        ASSERT_TRUE(doubt.has_value()) << damaged.constData();
        EXPECT_EQ(doubt->stage, StoredAlarm::kUnknownStage);
    }

    EXPECT_FALSE(AlarmStore::Write(raised, dir.filePath(QStringLiteral("missing/alarmstate.json"))));
}
