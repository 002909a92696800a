// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/colour_contrast.h"

#include <algorithm>
#include <cmath>

namespace stravon::views {
namespace {

double Linear(double channel) {
  return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& colour) {
  return 0.2126 * Linear(colour.redF()) + 0.7152 * Linear(colour.greenF()) +
         0.0722 * Linear(colour.blueF());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor MostVisible(const QColor& background, std::initializer_list<QColor> candidates) {
  return *std::max_element(candidates.begin(), candidates.end(),
                           [&background](const QColor& a, const QColor& b) {
                             return ContrastRatio(a, background) < ContrastRatio(b, background);
                           });
}

QColor Blend(const QColor& from, const QColor& to, double share) {
  const auto mix = [share](double a, double b) { return a + (b - a) * share; };
  return QColor::fromRgbF(static_cast<float>(mix(from.redF(), to.redF())),
                          static_cast<float>(mix(from.greenF(), to.greenF())),
                          static_cast<float>(mix(from.blueF(), to.blueF())));
}

}  // namespace stravon::views
