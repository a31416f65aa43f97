#pragma once

// The instruction and about pages behind the settings tab's help buttons.

#include <QString>

namespace framla::app::layout {

/// The pages, one per help button.
enum class HelpTopic { Transfer, Inventory, Suppliers, Customers, Repairs, About };

struct HelpPage {
    QString title;
    QString text; ///< lines joined by CR LF, blank lines between paragraphs
};

/// The page behind a help button.
HelpPage helpPage(HelpTopic topic);

} // namespace framla::app::layout
