#pragma once

// Builds the screen forms for the tests the way the window does.
#include "ui_DialogAbout.h"
#include "ui_InsertURL.h"
#include "ui_Navigation.h"
#include "ui_OldSniffer.h"
#include "ui_Options.h"
#include "ui_Progress.h"
#include "ui_Settings.h"
#include "ui_Sniffer.h"

#include <QHash>
#include <QLayout>
#include <QSpacerItem>
#include <QStringList>

#include <functional>
#include <memory>

namespace FormBuilder {

// Builds a form the way the window does: the form object only fills the widget.
template <class Form, class Base = QWidget>
inline std::unique_ptr<QWidget> build()
{
    auto widget = std::make_unique<Base>();
    Form form;
    form.setupUi(widget.get());
    return widget;
}

inline std::unique_ptr<QWidget> buildForm(const QString &name)
{
    static const QHash<QString, std::function<std::unique_ptr<QWidget>()>> builders = {
        {"Sniffer", build<Ui::Sniffer, QDialog>},
        {"Navigation", build<Ui::Navigation>},
        {"InsertURL", build<Ui::InsertURL>},
        {"Options", build<Ui::Options>},
        {"Progress", build<Ui::Progress>},
        {"Settings", build<Ui::Settings>},
        {"OldSniffer", build<Ui::OldSniffer>},
        {"DialogAbout", build<Ui::DialogAbout, QDialog>},
    };
    return builders.value(name)();
}

// A layout's items as names: widgets and layouts by object name, spacers by
// direction and size ("hspacer 40x20", "fixed hspacer 25x20").
inline QStringList itemNames(const QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget()) {
            names << item->widget()->objectName();
        } else if (item->layout()) {
            names << item->layout()->objectName();
        } else if (QSpacerItem *spacer = item->spacerItem()) {
            const bool horizontal = spacer->sizePolicy().horizontalPolicy() != QSizePolicy::Minimum;
            const QSizePolicy::Policy policy = horizontal ? spacer->sizePolicy().horizontalPolicy()
                                                          : spacer->sizePolicy().verticalPolicy();
            const QSize hint = spacer->sizeHint();
            names << QStringLiteral("%1%2spacer %3x%4")
                         .arg(policy == QSizePolicy::Fixed ? "fixed " : "", horizontal ? "h" : "v")
                         .arg(hint.width())
                         .arg(hint.height());
        }
    }
    return names;
}

constexpr int kMax = QWIDGETSIZE_MAX;

} // namespace FormBuilder
