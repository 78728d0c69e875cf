#pragma once

#include "platform/fileops.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"
#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/frmsuffix.h"

#include <gtest/gtest.h>

#include <memory>

namespace velquin::test {

// A file window with its add-extension dialog over scripted dialogs and a settings file in a
// fresh temporary folder (absent until something saves it).
class Form1Test : public ::testing::Test {
public:
    void SetUp() override { open(); }

    void open() {
        suffix.reset();
        form.reset();
        form = std::make_unique<TForm1>(ctx);
        suffix = std::make_unique<TfrmSuffix>(ctx);
    }

    TestDir dir;
    ScriptedDialogs dialogs;
    FileOps fs;
    AppContext ctx{dialogs, fs, dir.path(QStringLiteral("Velquin.ini"))};
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TfrmSuffix> suffix;
};

} // namespace velquin::test
