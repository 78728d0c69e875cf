#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace velquin {

// The user's short date format (QLocale::system()), date only, no time part.
QString shortDateText(const QDate& date);

} // namespace velquin
