#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include "view/QUARNView.h"

namespace telvora::test
{

// Runs a Qt test of the application with its settings and default decompression folder in a
// folder of this run only, so that no run sees another's or the user's.
template <typename TestObject>
int RunAppTest(int argc, char* argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    SetDefaultViewFormat();
    QApplication app(argc, argv);
    TestObject test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace telvora::test
