// Test entry point: starts Qt headless (offscreen, panel-sized screen, the station's fonts).
#include "core/globals.h"
#include "core/operatorport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdlib>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR"))
        qputenv("QT_QPA_FONTDIR", MOULD_TEST_FONTDIR);
    // The offscreen screen gets the panel's size through its configuration file.
    const QString config = QDir::tempPath() + QStringLiteral("/mould-offscreen.json");
    QFile file(config);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.write(R"({"screens":[{"name":"panel","x":0,"y":0,"width":1920,"height":1080,"logicalDpi":96}]})");
    file.close();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The shared mutexes, as the station's start-up creates them before anything else runs.
    CreateSharedMutexes();
    // Whatever asks the operator without a port fails the test that made it ask.
    OperatorPort::setMissingHandler([](const char *kind, const QString &text) {
        ADD_FAILURE() << "the operator was asked (" << kind << ") with no port installed: " << text.toStdString();
    });
    return RUN_ALL_TESTS();
}
