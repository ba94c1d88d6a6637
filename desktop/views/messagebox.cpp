#include "messagebox.h"

#include <QCheckBox>
#include <QPushButton>
#include <QQueue>

#include <functional>

namespace {

QQueue<MessageBoxAnswer>& queuedBoxAnswers()
{
    static QQueue<MessageBoxAnswer> answers;
    return answers;
}

QList<MessageBoxRequest>& shownBoxRequests()
{
    static QList<MessageBoxRequest> requests;
    return requests;
}

QQueue<QString>& queuedFileAnswers()
{
    static QQueue<QString> answers;
    return answers;
}

QStringList& shownFileCaptions()
{
    static QStringList captions;
    return captions;
}

QStringList& shownFileDirectories()
{
    static QStringList directories;
    return directories;
}

MessageBoxAnswer runMessageBox(QWidget* parent, const MessageBoxRequest& request)
{
    QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
    box.setTextFormat(request.textFormat);
    if (request.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(request.defaultButton);
    for (auto it = request.buttonTexts.cbegin(); it != request.buttonTexts.cend(); ++it) {
        if (QAbstractButton* button = box.button(it.key()))
            button->setText(it.value());
    }
    if (!request.checkBoxText.isEmpty()) {
        auto* checkBox = new QCheckBox(request.checkBoxText, &box);
        checkBox->setChecked(request.checkBoxChecked);
        box.setCheckBox(checkBox);
    }
    box.exec();
    MessageBoxAnswer answer;
    // No clicked button at all: the box was closed without one, which counts as Cancel.
    answer.button =
        box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::Cancel;
    answer.checkBoxChecked = box.checkBox() && box.checkBox()->isChecked();
    return answer;
}

QString takeFileAnswer(const QString& caption, const QString& directory,
                       const std::function<QString()>& runDialog)
{
    shownFileCaptions().append(caption);
    shownFileDirectories().append(directory);
    if (!queuedFileAnswers().isEmpty())
        return queuedFileAnswers().dequeue();
    return runDialog();
}

} // namespace

MessageBoxAnswer MessageBox::ask(QWidget* parent, const MessageBoxRequest& request)
{
    shownBoxRequests().append(request);
    if (!queuedBoxAnswers().isEmpty())
        return queuedBoxAnswers().dequeue();
    return runMessageBox(parent, request);
}

namespace {

MessageBoxRequest simpleRequest(QMessageBox::Icon icon, const QString& title, const QString& text)
{
    MessageBoxRequest request;
    request.icon = icon;
    request.title = title;
    request.text = text;
    return request;
}

} // namespace

void MessageBox::information(QWidget* parent, const QString& title, const QString& text,
                             Qt::TextFormat format)
{
    MessageBoxRequest request = simpleRequest(QMessageBox::Information, title, text);
    request.textFormat = format;
    ask(parent, request);
}

void MessageBox::warning(QWidget* parent, const QString& title, const QString& text)
{
    ask(parent, simpleRequest(QMessageBox::Warning, title, text));
}

void MessageBox::critical(QWidget* parent, const QString& title, const QString& text)
{
    ask(parent, simpleRequest(QMessageBox::Critical, title, text));
}

QMessageBox::StandardButton MessageBox::question(QWidget* parent, const QString& title,
                                                 const QString& text,
                                                 QMessageBox::StandardButtons buttons)
{
    MessageBoxRequest request = simpleRequest(QMessageBox::Question, title, text);
    request.buttons = buttons;
    return ask(parent, request).button;
}

void MessageBox::queueAnswer(const MessageBoxAnswer& answer)
{
    queuedBoxAnswers().enqueue(answer);
}

void MessageBox::queueAnswer(QMessageBox::StandardButton button, bool checkBoxChecked)
{
    queueAnswer(MessageBoxAnswer{button, checkBoxChecked});
}

int MessageBox::queuedAnswerCount()
{
    return queuedBoxAnswers().size();
}

QList<MessageBoxRequest> MessageBox::shownBoxes()
{
    return shownBoxRequests();
}

void MessageBox::clearShownBoxes()
{
    shownBoxRequests().clear();
}

QString FileDialog::getExistingDirectory(QWidget* parent, const QString& caption,
                                         const QString& directory, QFileDialog::Options options)
{
    return takeFileAnswer(caption, directory, [&] {
        return QFileDialog::getExistingDirectory(parent, caption, directory, options);
    });
}

QString FileDialog::getOpenFileName(QWidget* parent, const QString& caption,
                                    const QString& directory, const QString& filter)
{
    return takeFileAnswer(caption, directory, [&] {
        return QFileDialog::getOpenFileName(parent, caption, directory, filter);
    });
}

void FileDialog::queueAnswer(const QString& path)
{
    queuedFileAnswers().enqueue(path);
}

int FileDialog::queuedAnswerCount()
{
    return queuedFileAnswers().size();
}

QStringList FileDialog::shownCaptions()
{
    return shownFileCaptions();
}

QStringList FileDialog::shownDirectories()
{
    return shownFileDirectories();
}

void FileDialog::clearShownCaptions()
{
    shownFileCaptions().clear();
    shownFileDirectories().clear();
}
