#include "platform/localdate.h"

#include <QLocale>

namespace velquin {

QString shortDateText(const QDate& date) {
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

} // namespace velquin
