#pragma once

#include <QDialog>

namespace Hvd::Weft::Components
{

class Ui_CopyrightDialog;

// The About box: product name and full version, copyright, and the licences
// of the open-source components the program links, as plain text.
class CopyrightDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CopyrightDialog(QWidget* parent);
    ~CopyrightDialog() override;

private:
    Ui_CopyrightDialog* ui;
};

} // namespace Hvd::Weft::Components
