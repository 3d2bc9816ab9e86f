#include "app/ui/connection_dlg.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/lang_strings.h"

CConnectionDlg::CConnectionDlg(std::uint32_t language, const QString& promptText, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("connectionDialog"));
    setWindowTitle(QStringLiteral("TwinLark"));
    setWindowIcon(QIcon(QStringLiteral(":/images/icon128.png")));

    message_ = new QPlainTextEdit(promptText, this);
    message_->setObjectName(QStringLiteral("ctl_1014"));
    message_->setReadOnly(true);
    message_->setFixedHeight(64);

    allow_ = new QPushButton(LoadLangString(language, 123), this);
    allow_->setObjectName(QStringLiteral("ctl_1001"));
    deny_ = new QPushButton(LoadLangString(language, 124), this);
    deny_->setObjectName(QStringLiteral("ctl_1002"));
    allowAndAdd_ = new QPushButton(LoadLangString(language, 125), this);
    allowAndAdd_->setObjectName(QStringLiteral("ctl_1013"));
    for (QPushButton* button : {allow_, deny_, allowAndAdd_}) button->setAutoDefault(false);

    connect(allow_, &QPushButton::clicked, this, [this] { Choose(ConnectionChoice::Allow); });
    connect(deny_, &QPushButton::clicked, this, [this] { Choose(ConnectionChoice::Deny); });
    connect(allowAndAdd_, &QPushButton::clicked, this, [this] { Choose(ConnectionChoice::AllowAndAdd); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(allow_);
    buttons->addWidget(deny_);
    buttons->addWidget(allowAndAdd_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message_);
    layout->addLayout(buttons);
    setMinimumWidth(380);
}

QPushButton* CConnectionDlg::Button(ConnectionChoice choice) const
{
    switch (choice) {
        case ConnectionChoice::Allow:
            return allow_;
        case ConnectionChoice::Deny:
            return deny_;
        case ConnectionChoice::AllowAndAdd:
            return allowAndAdd_;
    }
    return nullptr;
}

void CConnectionDlg::Choose(ConnectionChoice choice)
{
    choice_ = choice;
    done(0);
}

ConnectionChoice CConnectionDlg::Ask()
{
    // A prompt left without a button press denies, whatever an earlier prompt chose.
    choice_ = ConnectionChoice::Deny;
    exec();
    return choice_;
}
