#include "app/ColourRoles.h"

#include <QGuiApplication>
#include <QPalette>

#include <cmath>
#include <utility>

namespace {

QString css(const QColor &colour)
{
    return colour.name(QColor::HexRgb);
}

double luminance(const QColor &colour)
{
    const auto channel = [](double value) {
        value /= 255.0;
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.red()) + 0.7152 * channel(colour.green()) + 0.0722 * channel(colour.blue());
}

}   // namespace

ColourRoles ColourRoles::lightSet()
{
    ColourRoles roles;
    roles.window = {Qt::black, Qt::white};
    roles.windowShade = QColor(250, 250, 250);
    roles.received = {Qt::black, Qt::white};
    roles.sent = {Qt::black, QColor(245, 255, 226)};
    roles.match = {Qt::black, QColor(0xFF, 0xE5, 0x8F)};
    roles.selection = {Qt::white, QColor(0x2F, 0x6F, 0xB5)};
    roles.panel = {QColor(0x22, 0x22, 0x22), QColor(0xF1, 0xF5, 0xFB)};
    roles.header = {Qt::black, QColor(0xFE, 0xEB, 0x9E)};
    roles.headerFade = Qt::white;
    roles.title = {Qt::white, QColor(0x9C, 0x80, 0x52)};
    roles.titleFade = QColor(0x7E, 0x66, 0x3E);
    roles.button = {Qt::black, QColor(0xF7, 0xF9, 0xDF)};
    roles.buttonFade = QColor(0xF0, 0xF7, 0x97);
    roles.buttonHover = QColor(0xE3, 0xF4, 0xFC);
    roles.buttonHoverFade = QColor(0x81, 0xC0, 0xE0);
    roles.disabledText = QColor(0x8A, 0x8A, 0x8A);
    roles.border = QColor(0xCC, 0xD9, 0xEA);
    roles.accent = QColor(0xFE, 0x95, 0x16);
    roles.hoverBorder = QColor(0x29, 0x99, 0xFF);
    roles.fieldBorder = QColor(0x7A, 0x86, 0x99);
    return roles;
}

ColourRoles ColourRoles::darkSet()
{
    ColourRoles roles;
    roles.dark = true;
    roles.window = {QColor(0xE8, 0xE8, 0xE8), QColor(0x1E, 0x1F, 0x22)};
    roles.windowShade = QColor(0x26, 0x27, 0x2B);
    roles.received = {QColor(0xE8, 0xE8, 0xE8), QColor(0x1E, 0x1F, 0x22)};
    roles.sent = {QColor(0xE6, 0xF0, 0xDC), QColor(0x2A, 0x36, 0x22)};
    roles.match = {Qt::white, QColor(0x6B, 0x55, 0x10)};
    roles.selection = {Qt::white, QColor(0x2F, 0x6F, 0xB5)};
    roles.panel = {QColor(0xE0, 0xE0, 0xE0), QColor(0x2A, 0x2D, 0x33)};
    roles.header = {QColor(0xF2, 0xE8, 0xC8), QColor(0x4A, 0x41, 0x30)};
    roles.headerFade = QColor(0x2A, 0x2D, 0x33);
    roles.title = {Qt::white, QColor(0x5C, 0x4C, 0x33)};
    roles.titleFade = QColor(0x4A, 0x3D, 0x28);
    roles.button = {QColor(0xF0, 0xF0, 0xF0), QColor(0x3A, 0x3D, 0x44)};
    roles.buttonFade = QColor(0x30, 0x33, 0x3A);
    roles.buttonHover = QColor(0x2F, 0x4F, 0x66);
    roles.buttonHoverFade = QColor(0x24, 0x45, 0x5C);
    roles.disabledText = QColor(0x8C, 0x8C, 0x8C);
    roles.border = QColor(0x4A, 0x4D, 0x55);
    roles.accent = QColor(0xFE, 0x95, 0x16);
    roles.hoverBorder = QColor(0x29, 0x99, 0xFF);
    roles.fieldBorder = QColor(0x8A, 0x8F, 0x99);
    return roles;
}

ColourRoles ColourRoles::forPalette(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128 ? darkSet() : lightSet();
}

ColourRoles ColourRoles::current()
{
    // Without a GUI application (the command-line tool, some tests) there is no desktop palette.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return lightSet();
    return forPalette(QGuiApplication::palette());
}

QPalette ColourRoles::palette() const
{
    QPalette result;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        const QColor text = disabled ? disabledText : window.text;
        result.setColor(group, QPalette::Window, window.background);
        result.setColor(group, QPalette::WindowText, text);
        result.setColor(group, QPalette::Base, received.background);
        result.setColor(group, QPalette::AlternateBase, sent.background);
        result.setColor(group, QPalette::Text, disabled ? disabledText : received.text);
        result.setColor(group, QPalette::Button, button.background);
        result.setColor(group, QPalette::ButtonText, disabled ? disabledText : button.text);
        result.setColor(group, QPalette::Highlight, selection.background);
        result.setColor(group, QPalette::HighlightedText, selection.text);
        result.setColor(group, QPalette::ToolTipBase, panel.background);
        result.setColor(group, QPalette::ToolTipText, panel.text);
        result.setColor(group, QPalette::PlaceholderText, disabledText);
        result.setColor(group, QPalette::BrightText, window.text);
        result.setColor(group, QPalette::Link, hoverBorder);
    }
    return result;
}

QString ColourRoles::fillStyleSheet(QString sheet) const
{
    const std::pair<const char *, QString> values[] = {
        {"@windowText@", css(window.text)},
        {"@windowBackground@", css(window.background)},
        {"@windowImage@", dark ? QStringLiteral("none") : QStringLiteral("url(:main_bg.png)")},
        {"@dialogImage@", dark ? QStringLiteral("none") : QStringLiteral("url(:sub_bg.png)")},
        {"@selectionText@", css(selection.text)},
        {"@selectionBackground@", css(selection.background)},
        {"@panelText@", css(panel.text)},
        {"@panelBackground@", css(panel.background)},
        {"@headerText@", css(header.text)},
        {"@headerBackground@", css(header.background)},
        {"@headerFade@", css(headerFade)},
        {"@titleText@", css(title.text)},
        {"@titleBackground@", css(title.background)},
        {"@titleFade@", css(titleFade)},
        {"@buttonText@", css(button.text)},
        {"@buttonBackground@", css(button.background)},
        {"@buttonFade@", css(buttonFade)},
        {"@buttonHover@", css(buttonHover)},
        {"@buttonHoverFade@", css(buttonHoverFade)},
        {"@disabledText@", css(disabledText)},
        {"@border@", css(border)},
        {"@accent@", css(accent)},
        {"@hoverBorder@", css(hoverBorder)},
        {"@fieldBorder@", css(fieldBorder)},
    };
    for (const auto &[name, value] : values)
        sheet.replace(QLatin1String(name), value);
    return sheet;
}

void applyColourRoles()
{
    QGuiApplication::setPalette(ColourRoles::current().palette());
}

double contrastRatio(const QColor &a, const QColor &b)
{
    double lighter = luminance(a);
    double darker = luminance(b);
    if (lighter < darker)
        std::swap(lighter, darker);
    return (lighter + 0.05) / (darker + 0.05);
}
