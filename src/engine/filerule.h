#pragma once

#include "engine/types.h"

#include <QString>
#include <QStringList>

namespace velquin {

class DiskView;
class FileRule;
class FileRunHost;
class RunActions;
class RunFrame;

// One listed file as a criterion's rule sees it: where it is, the disk, and the one way it can be
// sorted (into a sub-folder of the output folder, with the mode and clash policy of the moment).
class FileItem {
public:
    FileItem(RunActions& actions, FileRunHost& host, const FileRule& rule, qsizetype index,
             const QString& path, const QString& outputFolder)
        : actions_(actions), host_(host), rule_(rule), index_(index), path_(path), output_(outputFolder) {}

    // Where the file stands in the run's list, and its path.
    qsizetype index() const { return index_; }
    const QString& path() const { return path_; }
    // The output folder, with its trailing separator.
    const QString& outputFolder() const { return output_; }
    const DiskView& disk() const;
    // True once the run is to end after the file in flight.
    bool stopping() const;
    // Transfers the file into outputFolder + `subFolder` under its own name, making the folder
    // first when `makeFolder` and it is missing. False, with nothing done, when the name would
    // lead out of the output folder.
    bool sortInto(const QString& subFolder, bool makeFolder);
    // The same for any listed file (`path`) under the name `name`; `placedAt` receives where it
    // was put when it was. False when the sub-folder would lead out of the output folder.
    bool sortAs(const QString& path, const QString& subFolder, const QString& name, bool makeFolder,
                QString* placedAt = nullptr);
    // `path` is sorted already: `target` holds the same content (see RunActions::alreadyThere).
    void alreadyThere(const QString& path, const QString& target);
    // What the rule read of `path` to decide, for the preview.
    void describe(const QString& path, const QString& note);
    // Whether a listed file passes the filter the run applies to every item (the type filter, or
    // the picture types of a rule that does not filter by type), read from the host now.
    bool takesPart(const QString& path);
    // Another listed file that is not sorted (see RunActions::notMatched).
    void notSorted(const QString& path);

private:
    RunActions& actions_;
    FileRunHost& host_;
    const FileRule& rule_;
    qsizetype index_;
    const QString& path_;
    const QString& output_;
};

// What became of a listed file that passed the type filter. NotMatched and Dropped are both
// "not sorted"; only a dropped file leaves the progress bar where it is.
enum class ItemOutcome { Sorted, NotMatched, Dropped };

// A file criterion's part of a file run, made by its page from the values its controls hold.
// The run makes the checks every criterion shares first (list, type filter, output folder).
class FileRule {
public:
    virtual ~FileRule();
    // The checks of the criterion's own fields, through the frame (message and focus of the
    // first failure); true when they all passed. What they work out is kept for the items.
    virtual bool check(RunFrame& frame) = 0;
    // The folder, under the output folder, that the run makes before its first item; "" for none.
    virtual QString fixedFolder() const { return QString(); }
    // Whether the type filter decides which files take part; false: the picture types do.
    virtual bool filtersByType() const { return true; }
    // The whole list, once the checks have passed and before the first item (for a rule that
    // looks at items together, such as photos and the files that go with them).
    virtual void prepareItems(const QStringList& files) { (void)files; }
    // The rule for one file that passed the filter.
    virtual ItemOutcome sort(FileItem& item) = 0;
};

} // namespace velquin
