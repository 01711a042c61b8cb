#include "platform/qt/dialog_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <limits>

namespace pavo::qt {
namespace {

constexpr int kToolTipMilliseconds = 30000;
// The base units the pixel places of the combo boxes were laid out for.
constexpr int kTemplateUnitWidth = 6;
constexpr int kTemplateUnitHeight = 13;
constexpr int kComboPixelWidth = 160;
constexpr int kMarginUnits = 7;

// The dialog font's average character width and height, as dialog units count them.
QSize measureBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {(metrics.horizontalAdvance(alphabet) + 26) / 52, metrics.height()};
}

// A number as a signed field reads it: sign and digits only, saturated to 32 bits.
int parseSigned(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?)([0-9]+)\\s*$"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch()) return 0;
    const bool negative = match.captured(1) == u"-";
    const std::int64_t limit = std::int64_t{std::numeric_limits<int>::max()} + (negative ? 1 : 0);
    std::int64_t value = 0;
    for (const QChar digit : match.capturedView(2)) {
        value = std::min<std::int64_t>(value * 10 + digit.digitValue(), limit);
    }
    return static_cast<int>(negative ? -value : value);
}

// A control never smaller than it needs to be: grown to its size hint, keeping the
// given edge (left or right) and its vertical centre.
QRect grown(QRect place, QSize hint, bool keepRight) {
    if (hint.height() > place.height()) {
        place.adjust(0, -(hint.height() - place.height()) / 2, 0, 0);
        place.setHeight(hint.height());
    }
    if (hint.width() > place.width()) {
        if (keepRight) {
            place.setLeft(place.right() + 1 - hint.width());
        } else {
            place.setWidth(hint.width());
        }
    }
    return place;
}

}  // namespace

QIcon programIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // A peacock's eye: green, blue and a dark centre.
    painter.setBrush(QColor(0x1b, 0x8a, 0x5a));
    painter.drawEllipse(QRectF(1, 1, 30, 30));
    painter.setBrush(QColor(0x1e, 0x5a, 0xc8));
    painter.drawEllipse(QRectF(7, 7, 18, 18));
    painter.setBrush(QColor(0x10, 0x18, 0x40));
    painter.drawEllipse(QRectF(11, 11, 10, 10));
    painter.end();
    return QIcon(pixmap);
}

DialogForm::DialogForm(DialogId id, DialogHandler& handler, QWidget* owner)
    : QDialog(owner), handler_(handler), baseUnits_(measureBaseUnits(font())) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    build(dialogTemplate(id));
}

void DialogForm::build(const DialogTemplate& form) {
    setWindowTitle(QString::fromUtf16(form.caption));
    const auto ux = [this](int units) { return (units * baseUnits_.width() + 2) / 4; };
    const auto uy = [this](int units) { return (units * baseUnits_.height() + 4) / 8; };
    const auto px = [this](int pixels) { return pixels * baseUnits_.width() / kTemplateUnitWidth; };
    const auto py = [this](int pixels) {
        return pixels * baseUnits_.height() / kTemplateUnitHeight;
    };
    setFixedSize(ux(form.width), uy(form.height));

    for (const ControlEntry& control : form.controls) {
        const QString text = control.text == nullptr ? QString() : QString::fromUtf16(control.text);
        const QRect place(ux(control.x), uy(control.y), ux(control.width), uy(control.height));
        QWidget* widget = nullptr;
        switch (control.kind) {
            case ControlKind::CheckBox:
            case ControlKind::CheckBoxRight:
            case ControlKind::CheckBoxTextLeft: {
                auto* box = new QCheckBox(text, this);
                const bool textLeft = control.kind == ControlKind::CheckBoxTextLeft;
                if (textLeft) box->setLayoutDirection(Qt::RightToLeft);
                QRect at = grown(place, box->sizeHint(), textLeft);
                if (control.kind == ControlKind::CheckBoxRight) {
                    at.setLeft(std::max(at.left(), at.right() + 1 - box->sizeHint().width()));
                }
                box->setGeometry(at);
                widget = box;
                break;
            }
            case ControlKind::NumberEdit: {
                auto* edit = new QLineEdit(this);
                edit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]*")), edit));
                edit->setAlignment(Qt::AlignCenter);
                edit->setGeometry(place);
                widget = edit;
                break;
            }
            case ControlKind::Label:
            case ControlKind::LabelRight:
            case ControlKind::WrappedLabel:
            case ControlKind::InformationText: {
                auto* label = new QLabel(text, this);
                if (control.kind == ControlKind::WrappedLabel) {
                    label->setWordWrap(true);
                    label->setGeometry(place);
                } else if (control.kind == ControlKind::LabelRight) {
                    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                    label->setGeometry(grown(place, label->sizeHint(), true));
                } else {
                    label->move(place.topLeft());
                    label->adjustSize();
                }
                widget = label;
                break;
            }
            case ControlKind::Button:
            case ControlKind::DefaultButton: {
                auto* button = new QPushButton(text, this);
                button->setDefault(control.kind == ControlKind::DefaultButton);
                button->setGeometry(place);
                connect(button, &QPushButton::clicked, this,
                        [this, id = control.id] { press(id); });
                widget = button;
                break;
            }
            case ControlKind::Combo: {
                auto* combo = new QComboBox(this);
                combo->setEditable(true);
                combo->setInsertPolicy(QComboBox::NoInsert);
                combo->setGeometry(px(control.x), py(control.y), px(kComboPixelWidth),
                                   combo->sizeHint().height());
                widget = combo;
                break;
            }
            case ControlKind::Icon: {
                auto* icon = new QLabel(this);
                icon->setPixmap(programIcon().pixmap(32, 32));
                icon->setGeometry(grown(place, QSize(32, 32), false));
                widget = icon;
                break;
            }
        }
        if (control.toolTip != nullptr) {
            widget->setToolTip(QString::fromUtf16(control.toolTip));
            widget->setToolTipDuration(kToolTipMilliseconds);
        }
        if (control.id != 0) {
            widget->setObjectName(QString::number(control.id));
            controls_[control.id] = widget;
        }
    }
}

// The information dialogs show texts of any length: the form grows around the text,
// and its OK button goes below it, centred.
void DialogForm::fitInformationText() {
    auto* label = qobject_cast<QLabel*>(control(kInformationText));
    QWidget* ok = control(kOkButton);
    if (label == nullptr || ok == nullptr) return;
    label->adjustSize();
    const int margin = (kMarginUnits * baseUnits_.width() + 2) / 4;
    int bottom = 0;
    for (const auto& [id, widget] : controls_) {
        if (widget != ok) bottom = std::max(bottom, widget->geometry().bottom() + 1);
    }
    const int formWidth = std::max(width(), label->geometry().right() + 1 + margin);
    ok->move((formWidth - ok->width()) / 2, bottom + margin);
    setFixedSize(formWidth, ok->geometry().bottom() + 1 + margin);
}

// Over the middle of the owner, as the owner's and the form's outer sizes give it.
void DialogForm::centreOverOwner() {
    const QWidget* owner = parentWidget();
    if (owner == nullptr) return;
    const QRect outer = owner->frameGeometry();
    const QSize size = frameGeometry().size();
    move(outer.left() + outer.width() / 2 - size.width() / 2,
         outer.top() + outer.height() / 2 - size.height() / 2);
}

void DialogForm::prepare() {
    handler_.opened(*this);
    fitInformationText();
    centreOverOwner();
}

int DialogForm::run() {
    prepare();
    const int result = exec();
    // Keys go back to the owner: Qt would leave them with whatever child the menu or
    // the dialog's closing picked, and the window's own keys would stop working.
    if (QWidget* owner = parentWidget()) owner->setFocus(Qt::OtherFocusReason);
    return result;
}

void DialogForm::press(int button) {
    if (const std::optional<int> result = handler_.pressed(*this, button)) done(*result);
}

void DialogForm::reject() {
    press(kCancelButton);
}

QWidget* DialogForm::control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

bool DialogForm::checked(int id) const {
    const auto* box = qobject_cast<const QCheckBox*>(control(id));
    return box != nullptr && box->isChecked();
}

void DialogForm::setChecked(int id, bool on) {
    if (auto* box = qobject_cast<QCheckBox*>(control(id))) box->setChecked(on);
}

int DialogForm::intValue(int id) const {
    return parseSigned(text(id));
}

void DialogForm::setInt(int id, int value) {
    setText(id, QString::number(value));
}

QString DialogForm::text(int id) const {
    QWidget* widget = control(id);
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->currentText();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    return {};
}

void DialogForm::setText(int id, const QString& text) {
    QWidget* widget = control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(text);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->setEditText(text);
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text);
}

void DialogForm::setItems(int id, const QStringList& items, int selected) {
    if (auto* combo = qobject_cast<QComboBox*>(control(id))) {
        combo->clear();
        combo->addItems(items);
        combo->setCurrentIndex(selected);
    }
}

int DialogForm::runChild(DialogId id, DialogHandler& handler) {
    DialogForm child(id, handler, this);
    return child.run();
}

const DialogTemplate& dialogTemplate(DialogId id) {
    switch (id) {
        case DialogId::Options:
            return optionsTemplate();
        case DialogId::Scaling:
            return scalingTemplate();
        case DialogId::About:
            return aboutTemplate();
        case DialogId::Shortcuts:
            return shortcutsTemplate();
        case DialogId::UpdateAvailable:
            return updateTemplate();
    }
    return aboutTemplate();
}

}  // namespace pavo::qt
