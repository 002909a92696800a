// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>

#include <QColor>

namespace stravon::views {

// The contrast ratio of two colours as accessibility guidelines define it,
// from their relative luminance: 1 for equal colours, 21 for black on white.
double ContrastRatio(const QColor& a, const QColor& b);

// Of `candidates`, the one that stands out most against `background`: lets
// a colour that means something (a trace, a warning) suit a light and a dark
// palette alike.
QColor MostVisible(const QColor& background, std::initializer_list<QColor> candidates);

// `from` moved `share` (0 to 1) of the way towards `to`: lines between the
// palette's background and text colours.
QColor Blend(const QColor& from, const QColor& to, double share);

}  // namespace stravon::views
