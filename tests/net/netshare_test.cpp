// The shared pictures against a reader in the test playing the relay: real segments and
// semaphores, their sizes and rights, the copy, a held semaphore, the reset and the removal.
#include "net/netshare.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <opencv2/core.hpp>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

namespace {

int semValue(int semid) { return semctl(semid, 0, GETVAL); }
bool semTake(int semid, int delta)
{
    sembuf op{0, short(delta), 0};
    return semop(semid, &op, 1) == 0;
}
// Whether `ipcs` lists the id in its table of segments ("-m") or semaphores ("-s").
bool ipcsLists(const char *table, int id)
{
    QProcess ipcs;
    ipcs.start(QStringLiteral("ipcs"), {QString::fromLatin1(table)});
    ipcs.waitForFinished(5000);
    const QStringList lines = QString::fromLatin1(ipcs.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() > 1 && f[1] == QString::number(id))
            return true;
    }
    return false;
}

TEST(NetShare, PicturesReachTheRelayAndNothingIsLeftBehind)
{
    QTemporaryDir keys;
    ASSERT_TRUE(keys.isValid());
    // A segment of another size left by an earlier run under position 1's key.
    const key_t staleKey = ftok(keys.path().toLocal8Bit().constData(), 1001);
    const int stale = shmget(staleKey, 100, IPC_CREAT | 0600);
    ASSERT_NE(stale, -1);

    int shmids[2] = {-1, -1}, semids[2] = {-1, -1};
    {
        NetShare share(keys.path(), 5);
        ASSERT_TRUE(share.add(0, 1280, 1024, 20));
        ASSERT_TRUE(share.add(1, 65, 49, 20)) << "odd sizes are cut to even ones";
        for (int p = 0; p < 2; ++p) {
            shmids[p] = share.info(p)->shmid;
            semids[p] = share.info(p)->semid;
        }
        EXPECT_EQ(share.info(0)->size, 1966080);
        EXPECT_EQ(share.info(1)->width, 64);
        EXPECT_EQ(share.info(1)->size, 64 * 48 * 3 / 2);
        EXPECT_NE(shmids[1], stale) << "the stale segment is replaced";
        shmid_ds segment{};
        ASSERT_EQ(shmctl(shmids[1], IPC_STAT, &segment), 0);
        EXPECT_EQ(segment.shm_segsz, size_t(64 * 48 * 3 / 2));
        EXPECT_EQ(segment.shm_perm.mode & 0777, 0600);
        semid_ds sem{};
        ASSERT_EQ(semctl(semids[0], 0, IPC_STAT, &sem), 0);
        EXPECT_EQ(sem.sem_perm.mode & 0777, 0600);
        EXPECT_EQ(semValue(semids[0]), 1);

        // The announcement names every picture.
        const QJsonArray list = QJsonDocument::fromJson(share.memoryInfo()).object().value("memoryinfo").toArray();
        ASSERT_EQ(list.size(), 2);
        EXPECT_EQ(list[0].toObject().value("shmid").toInt(), shmids[0]);
        EXPECT_EQ(list[1].toObject().value("semid").toInt(), semids[1]);
        EXPECT_EQ(list[0].toObject().value("size").toInt(), 1966080);
        EXPECT_EQ(list[1].toObject().value("cameraid").toInt(), 1);
        EXPECT_EQ(list[1].toObject().value("fps").toInt(), 20);

        // The relay's view of position 1.
        const auto *seen = static_cast<const uint8_t *>(shmat(shmids[1], nullptr, SHM_RDONLY));
        ASSERT_NE(seen, reinterpret_cast<const uint8_t *>(-1));
        const int y = 64 * 48, quarter = y / 4;

        // A gray picture: the Y plane is the picture, U and V neutral.
        cv::Mat gray(48, 64, CV_8UC1, cv::Scalar(77));
        ASSERT_TRUE(share.copyNow(1, gray, PixelOrder::Gray));
        EXPECT_EQ(seen[0], 77);
        EXPECT_EQ(seen[y - 1], 77);
        EXPECT_EQ(seen[y], 128);
        EXPECT_EQ(seen[y + 2 * quarter - 1], 128);

        // Colour through the copier thread: red gives a high V, white a high Y.
        cv::Mat red(48, 64, CV_8UC4, cv::Scalar(255, 0, 0, 255));  // R, G, B, A
        ASSERT_TRUE(share.post(1, red, PixelOrder::Rgba));
        share.drain();
        EXPECT_GT(seen[y + quarter], 200) << "V of red";
        EXPECT_LT(seen[y], 128) << "U of red";
        cv::Mat blueBgra(48, 64, CV_8UC4, cv::Scalar(255, 0, 0, 255));  // B, G, R, A
        ASSERT_TRUE(share.post(1, blueBgra, PixelOrder::Bgra));
        share.drain();
        EXPECT_GT(seen[y], 200) << "U of blue";
        QImage screen(64, 48, QImage::Format_RGB32);
        screen.fill(Qt::white);
        ASSERT_TRUE(share.post(1, screen));
        share.drain();
        EXPECT_GT(seen[0], 230) << "Y of the white screen";
        EXPECT_EQ(seen[y], 128);

        // The time stamp lands in the bottom band, right-aligned, and not in the picture given.
        cv::Mat black(1024, 1280, CV_8UC1, cv::Scalar(0));
        ASSERT_TRUE(share.copyNow(0, black, PixelOrder::Gray, QStringLiteral("2026-01-02 03:04:05 ")));
        EXPECT_EQ(cv::countNonZero(black), 0);
        const auto *big = static_cast<const uint8_t *>(shmat(shmids[0], nullptr, SHM_RDONLY));
        const cv::Mat bigY(1024, 1280, CV_8UC1, const_cast<uint8_t *>(big));
        EXPECT_GT(cv::countNonZero(bigY(cv::Rect(640, 924, 640, 100))), 500);
        EXPECT_EQ(cv::countNonZero(bigY(cv::Rect(0, 0, 1280, 924))), 0);
        shmdt(big);

        // A relay holding the picture costs a skipped frame, never a blocked caller.
        ASSERT_TRUE(semTake(semids[1], -1));
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(share.copyNow(1, gray, PixelOrder::Gray));
        EXPECT_LT(timer.elapsed(), 100);
        EXPECT_EQ(share.framesSkipped(), 1u);
        // The relay went away inside its read, and one more V came: the reset sets it free, once.
        ASSERT_TRUE(semTake(semids[1], +1));
        ASSERT_TRUE(semTake(semids[1], +1));
        share.resetSemaphores();
        share.drain();
        EXPECT_EQ(semValue(semids[1]), 1);
        EXPECT_TRUE(share.copyNow(1, gray, PixelOrder::Gray));
        EXPECT_EQ(semValue(semids[1]), 1);
        EXPECT_EQ(share.framesCopied(), 6u);
        shmdt(seen);
        EXPECT_TRUE(ipcsLists("-m", shmids[0]));
        EXPECT_TRUE(ipcsLists("-s", semids[1]));
    }
    // Destroyed: every segment and semaphore is gone.
    for (int p = 0; p < 2; ++p) {
        shmid_ds segment{};
        EXPECT_EQ(shmctl(shmids[p], IPC_STAT, &segment), -1);
        EXPECT_EQ(semctl(semids[p], 0, GETVAL), -1);
        EXPECT_FALSE(ipcsLists("-m", shmids[p]));
        EXPECT_FALSE(ipcsLists("-s", semids[p]));
    }
    EXPECT_EQ(shmget(staleKey, 0, 0), -1);

    // A station that must end at once still takes its shared pictures with it.
    NetShare share(keys.path(), 5);
    ASSERT_TRUE(share.add(2, 64, 48, 5));
    const int shmid = share.info(2)->shmid, semid = share.info(2)->semid;
    NetShare::RemoveAllNow();
    shmid_ds segment{};
    const bool goneOrGoing = shmctl(shmid, IPC_STAT, &segment) == -1 || (segment.shm_perm.mode & SHM_DEST);
    EXPECT_TRUE(goneOrGoing) << "the segment goes with the last detach, at the process's end";
    EXPECT_EQ(semctl(semid, 0, GETVAL), -1);
}

}  // namespace
