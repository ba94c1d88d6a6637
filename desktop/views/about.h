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

protected:
    void showEvent(QShowEvent* event) override;

    static const char* const version;
    static const char* const homepage;

private:
    Ui::About* ui;
};
