#include "support/scriptedhost.h"

#include "ui/criteria/namecriterion.h"
#include "ui/criteria/typecriterion.h"

namespace velquin::test {

void ScriptedHost::setOutputFolderText(const QString& text) {
    outputText = text;
    ++outputWrites;
}

void ScriptedHost::information(const QString& text) {
    messages.append(text);
    events.append(QStringLiteral("message ") + text);
}

void ScriptedHost::closingMessage(const QString& text, const QString& line, const QString& details) {
    information(text);
    closingLine = line;
    closingDetails = details;
}

void ScriptedHost::setLocked(bool locked) {
    locked_ = locked;
    lockCalls.push_back(locked);
    events.append(locked ? QStringLiteral("lock") : QStringLiteral("unlock"));
}

void ScriptedHost::chooseOutputFolder() {
    ++chooserCalls;
    if (!chosenFolder.isEmpty())
        outputText = chosenFolder;
}

ClashPolicy ScriptedHost::clashPolicy() {
    if (onPolicyRead)
        onPolicyRead(policyReads);
    ++policyReads;
    return policy;
}

bool ScriptedHost::askOverwrite(const QString& target) {
    questions.append(target);
    if (onAsk)
        onAsk(target);
    if (answers.empty())
        return answerYes;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

bool ScriptedHost::askReplaceUnkept(const QString& reason) {
    unkeptReasons.append(reason);
    return answerUnkept;
}

void ScriptedHost::partialProgress(int position) {
    if (position >= 0)
        bar.push_back(position);
}

void ScriptedHost::setProgress(int position) {
    progress.push_back(position);
    bar.push_back(position);
    events.append(QStringLiteral("progress ") + QString::number(position));
    if (onProgress)
        onProgress(position);
    // The item steps come before the closing 100 and the 0 after the message.
    if (position == 100 || !messages.isEmpty())
        return;
    ++itemSteps_;
    if (betweenItems)
        betweenItems(itemSteps_);
}

bool ScriptedHost::endedNormally() const {
    return !locked_ && messages == QStringList{QString::fromUtf8("分拣工作完成！")} && progress.size() >= 2 &&
           progress.back() == 0 && progress.at(progress.size() - 2) == 100;
}

QStringList ScriptedHost::defaultPictureTypes() {
    return {QStringLiteral("*.JPG;*.JPEG"), QStringLiteral("*.BMP"), QStringLiteral("*.GIF"),
            QStringLiteral("*.PNG"), QStringLiteral("*.TIF")};
}

FileSortJob byTypeJob(const QStringList& files) {
    FileSortJob job;
    job.Files = files;
    job.rule = std::make_shared<TypeRule>();
    return job;
}

FileSortJob byNameJob(const QStringList& files) {
    FileSortJob job;
    job.Files = files;
    job.rule = std::make_shared<NameRule>(NameChoice{});
    return job;
}

FolderSortJob folderByNameJob(const QStringList& folders) {
    FolderSortJob job;
    job.Folders = folders;
    job.Criterion = FolderSortCriterion::ByName;
    return job;
}

} // namespace velquin::test
