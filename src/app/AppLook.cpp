#include "app/AppLook.h"

#include <QApplication>
#include <QStyleFactory>

#include "common/CommandIds.h"

namespace telvora
{
namespace
{

struct LookColors
{
    QColor window;
    QColor base;
    QColor alternate;
    QColor button;
    QColor text;
    QColor highlight;
    QColor highlightedText;
};

LookColors ColorsOf(int id)
{
    switch (id)
    {
    case ID_VIEW_APPLOOK_OFF_2007_BLUE:
        return {QColor(0xc4, 0xd8, 0xf0), QColor(0xf4, 0xf8, 0xfe), QColor(0xe3, 0xec, 0xf8),
                QColor(0xd6, 0xe5, 0xf7), QColor(0x15, 0x42, 0x8b), QColor(0xff, 0xc8, 0x3c),
                QColor(0x20, 0x20, 0x20)};
    case ID_VIEW_APPLOOK_OFF_2007_BLACK:
        return {QColor(0x35, 0x36, 0x3a), QColor(0x22, 0x23, 0x26), QColor(0x2c, 0x2d, 0x31),
                QColor(0x45, 0x46, 0x4b), QColor(0xe8, 0xe8, 0xe8), QColor(0xf0, 0xa0, 0x30),
                QColor(0x10, 0x10, 0x10)};
    case ID_VIEW_APPLOOK_OFF_2007_SILVER:
        return {QColor(0xdd, 0xdf, 0xe4), QColor(0xfa, 0xfa, 0xfb), QColor(0xee, 0xef, 0xf2),
                QColor(0xe6, 0xe8, 0xec), QColor(0x3b, 0x3b, 0x3b), QColor(0x8c, 0x9b, 0xb0),
                QColor(0xff, 0xff, 0xff)};
    case ID_VIEW_APPLOOK_OFF_2007_AQUA:
        return {QColor(0xbf, 0xe3, 0xe6), QColor(0xf2, 0xfb, 0xfb), QColor(0xdd, 0xf1, 0xf2),
                QColor(0xcc, 0xeb, 0xed), QColor(0x0b, 0x4f, 0x57), QColor(0x1f, 0x9a, 0xa8),
                QColor(0xff, 0xff, 0xff)};
    default:
        return {QColor(0xf0, 0xf0, 0xf0), QColor(0xff, 0xff, 0xff), QColor(0xf7, 0xf7, 0xf7),
                QColor(0xe9, 0xec, 0xf1), QColor(0x1e, 0x1e, 0x1e), QColor(0x33, 0x99, 0xff),
                QColor(0xff, 0xff, 0xff)};
    }
}

} // namespace

bool IsLookId(int id)
{
    return id >= ID_VIEW_APPLOOK_OFF_2007_BLUE && id <= ID_VIEW_APPLOOK_WINDOWS_7;
}

QPalette LookPalette(int id)
{
    const LookColors c = ColorsOf(id);
    QPalette palette(c.button, c.window);
    palette.setColor(QPalette::Window, c.window);
    palette.setColor(QPalette::WindowText, c.text);
    palette.setColor(QPalette::Base, c.base);
    palette.setColor(QPalette::AlternateBase, c.alternate);
    palette.setColor(QPalette::Button, c.button);
    palette.setColor(QPalette::ButtonText, c.text);
    palette.setColor(QPalette::Text, c.text);
    palette.setColor(QPalette::ToolTipBase, c.base);
    palette.setColor(QPalette::ToolTipText, c.text);
    palette.setColor(QPalette::Highlight, c.highlight);
    palette.setColor(QPalette::HighlightedText, c.highlightedText);
    const QColor disabled = c.text.lightness() > 128 ? c.text.darker(180) : c.text.lighter(260);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabled);
    return palette;
}

void ApplyLook(int id)
{
    if (QStyle* fusion = QStyleFactory::create("Fusion"))
    {
        QApplication::setStyle(fusion);
    }
    QApplication::setPalette(LookPalette(id));
}

} // namespace telvora
