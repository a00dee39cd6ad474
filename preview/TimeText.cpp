#include "preview/TimeText.h"

namespace {
QString TwoDigits(std::int64_t v) {
  const QString digits = QString::number(v < 0 ? -v : v).rightJustified(2, QLatin1Char('0'));
  return v < 0 ? QLatin1Char('-') + digits : digits;
}
}  // namespace

QString TimeText(std::int64_t hours, std::int64_t minutes, std::int64_t seconds) {
  return QStringLiteral("%1 : %2 . %3").arg(TwoDigits(hours), TwoDigits(minutes), TwoDigits(seconds));
}

QString PositionText(std::int64_t current, std::int64_t total) {
  return QStringLiteral("%1  from  %2").arg(current).arg(total);
}
