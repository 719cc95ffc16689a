#pragma once

#include <QApplication>
#include <QTest>

// The main of a window test: Qt's offscreen platform, so that no display is needed, then the
// test class's functions.
#define PELLIX_OFFSCREEN_TEST_MAIN(TestClass)                                                                \
    int main(int argc, char** argv) {                                                                        \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                             \
        QApplication application(argc, argv);                                                                \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
