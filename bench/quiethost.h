#pragma once

#include "engine/runhost.h"

#include <QString>
#include <QStringList>

namespace velquin::bench {

// A run's window without widgets, for timing the engine alone: the output folder is `output`,
// a clash meets `policy` (Skip unless set), nothing is shown or asked, progress costs nothing.
template <class Base> class Quiet : public Base {
public:
    QString output;
    ClashPolicy policy = ClashPolicy::Skip;
    ReplaceKeeper* keeper = nullptr; // where replaced files go; nullptr: they are gone
    QString outputFolderText() override { return output; }
    ReplaceKeeper* replaceKeeper() override { return keeper; }
    void setOutputFolderText(const QString& text) override { output = text; }
    void information(const QString&) override {}
    void focusField(FocusTarget) override {}
    void chooseOutputFolder() override {}
    void setLocked(bool) override {}
    ClashPolicy clashPolicy() override { return policy; }
    bool askOverwrite(const QString&) override { return false; }
    void setProgress(int) override {}
};

// The folder window's.
using QuietHost = Quiet<RunHost>;

// The file window's: `mode`, no type filter, no picture types.
class QuietFileHost : public Quiet<FileRunHost> {
public:
    QuietFileHost(const QString& out, TransferMode mode) : mode_(mode) { output = out; }
    TransferMode transferMode() override { return mode_; }
    TypeFilter typeFilter() override { return {}; }
    QStringList pictureTypes() override { return {}; }

private:
    TransferMode mode_;
};

} // namespace velquin::bench
