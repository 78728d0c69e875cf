#include "scriptedhost.h"

namespace velquin::test {

void ScriptedFileRunHost::setOutputFolderText(const QString& text) {
    outputText = text;
    ++outputWrites;
}

void ScriptedFileRunHost::information(const QString& text) {
    messages.append(text);
    events.append(QStringLiteral("message ") + text);
}

void ScriptedFileRunHost::closingMessage(const QString& text, const QString& line, const QString& details) {
    information(text);
    closingLine = line;
    closingDetails = details;
}

void ScriptedFileRunHost::setLocked(bool locked) {
    lockCalls.push_back(locked);
    events.append(locked ? QStringLiteral("lock") : QStringLiteral("unlock"));
}

void ScriptedFileRunHost::chooseOutputFolder() {
    ++chooserCalls;
    if (!chosenFolder.isEmpty())
        outputText = chosenFolder;
}

bool ScriptedFileRunHost::askOverwrite(const QString& target) {
    questions.append(target);
    if (answers.empty())
        return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

void ScriptedFileRunHost::setProgress(int position) {
    progress.push_back(position);
    events.append(QStringLiteral("progress ") + QString::number(position));
    if (onProgress)
        onProgress(position);
}

QStringList ScriptedFileRunHost::defaultPictureTypes() {
    return {QStringLiteral("*.JPG;*.JPEG"), QStringLiteral("*.BMP"), QStringLiteral("*.GIF"),
            QStringLiteral("*.PNG"), QStringLiteral("*.TIF")};
}

} // namespace velquin::test
