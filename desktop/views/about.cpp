#include "about.h"

#include "dialoghelpers.h"
#include "ui_about.h"

#include "productnames.h"
#include "vix_version.h"

#include <QIcon>

const char* const About::version = VIX_PROGRAM_VERSION_TEXT;
const char* const About::homepage = "https://www.kendrova.example";

namespace {

const char* const makerShortName = "Kendrova";
const char* const makerCompanyName = "Kendrova Data Systems GmbH";
const char* const makerAddressLine = "Kendrova Data Systems GmbH, Hafenstraße 12, 28217 Bremen";

QString licenceAgreement()
{
    return About::tr(
        "<h3>Licence agreement for the %1 (%2)</h3>"
        "<p>This licence agreement is between you and %6 (\"%5\"). By installing or using the "
        "%1 (the \"Software\") you accept it. If you do not accept it, do not use the "
        "Software.</p>"
        "<p><b>1. Licence.</b> %5 grants you a free, non-exclusive, non-transferable licence to "
        "use the Software on any number of your computers, solely to operate your %3 "
        "(\"%4\").</p>"
        "<p><b>2. Restrictions.</b> You may not sell, rent or sublicense the Software, and you "
        "may not remove notices of ownership from it.</p>"
        "<p><b>3. Your data.</b> The %4 protects your recordings with a PIN. Keep your PIN and "
        "Admin PIN safe: neither %5 nor the Software can recover data from a card whose PIN "
        "is lost. Always keep a backup of important recordings.</p>"
        "<p><b>4. No warranty.</b> The Software is provided \"as is\", without warranty of any "
        "kind, to the extent permitted by law.</p>"
        "<p><b>5. Limitation of liability.</b> %5 is liable only for intent and gross "
        "negligence, and for injury to life, body or health; liability under mandatory "
        "product liability law remains unaffected.</p>"
        "<p><b>6. Governing law.</b> This agreement is governed by the laws of the Federal "
        "Republic of Germany.</p>"
        "<p>%7</p>");
}

} // namespace

About::About(QWidget* parent) : QDialog(parent), ui(new Ui::About)
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/app_icon")));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->lblTitle->setText(ui->lblTitle->text().arg(QString::fromLatin1(applicationFullName),
                                                   QString::fromLatin1(version),
                                                   QString::fromLatin1(homepage)));
    ui->licenseText->setHtml(
        licenceAgreement()
            .arg(QString::fromLatin1(applicationFullName),
                 QString::fromLatin1(applicationShortName), QString::fromLatin1(cardFullName),
                 QString::fromLatin1(cardName), QString::fromLatin1(makerShortName),
                 QString::fromLatin1(makerCompanyName))
            .arg(QString::fromUtf8(makerAddressLine)));
}

About::~About()
{
    delete ui;
}

void About::showEvent(QShowEvent* event)
{
    fitIntoScreen(this);
    QDialog::showEvent(event);
}
