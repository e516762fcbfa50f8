// The message log: every Qt message of the program, one text file per run under RECORD/LOG.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QtGlobal>

class LogManager : public QObject
{
    Q_OBJECT
public:
    // Files "*_log.txt" at which one start deletes the oldest.
    static constexpr int kMaxFiles = 50;
    static constexpr const char *kVersion = "15.18.2.60";

    // Logs into the application directory + "/RECORD/LOG": prepares the directory, installs
    // outputMessage as the Qt message handler and deletes the oldest file when 50 or more are there.
    explicit LogManager(QObject *parent = nullptr);
    // The same for another directory (tests, tools).
    LogManager(const QString &directory, QObject *parent);
    // Puts the previous message handler back and closes the file.
    ~LogManager() override;

    // The one instance, created on first need.
    static LogManager *Instance(QObject *parent = nullptr);

    // Qt message handler. Writes nothing while the message-log switch (system parameter word 152)
    // is off or the parameter record is not there yet; otherwise appends one line to this run's
    // file, creating it on the first line. Safe from any thread.
    static void outputMessage(QtMsgType type, const QMessageLogContext &context, const QString &msg);

    // The line written for one message, without the newline: "[W 2026/12/07-04:44:04.123] text".
    static QString FormatLine(QtMsgType type, const QDateTime &time, const QString &msg);

    // Full path of this run's file (it exists only once a line was written).
    static QString CurrentFilePath();

    static LogManager *__instance;
    static QString __CurTaskPath;
    static QString __CurName;

private:
    void Start(const QString &directory);

    QtMessageHandler m_previousHandler = nullptr;
};
