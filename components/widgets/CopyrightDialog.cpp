#include "components/widgets/CopyrightDialog.h"
#include "ui_CopyrightDialog.h"

#include "components/ProductVersion.h"
#include "components/logging/Application.h"
#include "components/widgets/LicenceDocument.h"

namespace Hvd::Weft::Components
{

CopyrightDialog::CopyrightDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui_CopyrightDialog)
{
    ui->setupUi(this);
    setWindowTitle(windowTitle() + QLatin1String(ProductVersion::name));
    ui->application->setText(QLatin1String(ProductVersion::fullVersion.data()));
    ui->copyright->setText(ui->copyright->text().arg(QLatin1String(Application::organizationNameText)) + ' ' +
                           QString::number(ProductVersion::copyrightYear));
    // Plain text: the copyright files are not markup, and their asterisks,
    // angle brackets and quotes must show as they stand.
    ui->licenses->setPlainText(licenceDocument());
}

CopyrightDialog::~CopyrightDialog()
{
    delete ui;
}

} // namespace Hvd::Weft::Components
