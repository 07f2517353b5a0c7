// The panel's windows need a QApplication (ctest runs them offscreen) and an application object,
// which gives them the program's icon.
#include "platform/afx/afxwin.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {
CWinApp g_testApp("quorvex");
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
