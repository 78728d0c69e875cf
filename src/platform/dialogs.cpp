#include "platform/dialogs.h"

namespace velquin {

Dialogs::~Dialogs() = default;

bool Dialogs::questionWithDetails(QObject* owner, const QString& text, const QString& details,
                                  bool yesIsDefault) {
    (void)details;
    return question(owner, text, yesIsDefault);
}

} // namespace velquin
