#pragma once

#include <QString>

class QWidget;

namespace Hvd::Weft::Components::UiUtils
{

// Modal message box with default buttons; returns when the user closes it.
void showMessageBox(const QString& text, QWidget* parent);

} // namespace Hvd::Weft::Components::UiUtils
