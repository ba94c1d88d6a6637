#pragma once

#include <QDialog>

namespace Ui {
class About;
}

// Product name, version, homepage and the licence agreement.
class About : public QDialog
{
    Q_OBJECT

public:
    explicit About(QWidget* parent = nullptr);
    ~About() override;

    static const char* const version;
    static const char* const homepage;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::About* ui;
};
