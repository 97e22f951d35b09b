#include "components/logging/UiUtils.h"

#include <QMessageBox>

namespace Hvd::Weft::Components::UiUtils
{

void showMessageBox(const QString& text, QWidget* parent)
{
    QMessageBox box(parent);
    box.setText(text);
    box.exec();
}

} // namespace Hvd::Weft::Components::UiUtils
