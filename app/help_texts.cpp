#include "help_texts.h"

#include "app/window_layout.h"

#include <QStringList>

namespace framla::app::layout {

namespace {

QString joinLines(std::initializer_list<const char *> lines)
{
    QStringList list;
    for (const char *line : lines)
        list << QString::fromUtf8(line);
    return list.join(QStringLiteral("\r\n"));
}

} // namespace

HelpPage helpPage(HelpTopic topic)
{
    switch (topic) {
    case HelpTopic::Transfer:
        return {QStringLiteral("Sending transfer data files to server"),
                joinLines({
                    "This function sends a data file from this computer to the server,",
                    "into the ./shuttle directory of the database.",
                    "",
                    "1. Click the 'ix' (Inventory Transfer) button and browse for the data file.",
                    "2. Click 'Open' to send it to The Tillsmith server.",
                    "",
                    "Notes:",
                    "Only valid data transfer file types are allowed.",
                    "One file is sent at a time; repeat the two steps to send more.",
                })};
    case HelpTopic::Inventory:
        return {QStringLiteral("How to use Framla for normal Inventory codes"),
                joinLines({
                    "1. Select 'Inventory'.",
                    "2. Type the inventory code into the yellow field and click on it or press "
                    "Enter.",
                    "    Abbreviated codes are allowed. The item's description comes back in the "
                    "window at the top right.",
                    "3. Raw material codes are typed in full, with all five characters, such as "
                    "F0001.",
                    "    The letter is capitalised automatically.",
                    "4. Capture the image with 'Capture', or find an image file with 'Find'.",
                    "5. If the preview is already as it should be, skip the cropping in step 6.",
                    "6. Click 'Set crop marks' to crop the image, and enhance it with Bright, "
                    "Gamma and Contrast.",
                    "7. Select the size under 'Max.Pixels':",
                    "    160 pixels for the internet, catalogues and valuation certificates,",
                    "    320 pixels for larger presentation displays or detailed pictures,",
                    "    640 pixels only for detailed presentation pictures.",
                    "8. Click 'Put it'.",
                    "9. After you have confirmed the put, the left-hand X deletes the source "
                    "image.",
                    "    Repeat from step 2 for the next item.",
                })};
    case HelpTopic::Suppliers:
        return {QStringLiteral("Framla for Suppliers stock reference/codes"),
                joinLines({
                    "One image serves all inventory items that carry the same supplier stock "
                    "reference (SSR).",
                    "",
                    "1. Select 'Cust/Sup'.",
                    "2. Type the 4-digit supplier account number into the yellow field (it "
                    "cannot be abbreviated)",
                    "    and click on it or press Enter.",
                    "3. Type the supplier's stock reference (SSR) into the 'Target image "
                    "name/Ssr' field.",
                    "4. Capture the image with 'Capture', or find an image file with 'Find'.",
                    "5. If the preview is already as it should be, skip the cropping in step 6.",
                    "6. Click 'Set crop marks' to crop the image, and enhance it with Bright, "
                    "Gamma and Contrast.",
                    "7. Select the size under 'Max.Pixels' (160, 320 or 640 pixels, as for "
                    "inventory).",
                    "8. Click 'Put it'.",
                    "9. After you have confirmed the put, the left-hand X deletes the source "
                    "image.",
                    "10. Repeat from step 2 for the next supplier, or from step 3 for the next "
                    "SSR.",
                    "",
                    "SSR images work only where the supplier code and the SSR of an item match "
                    "in the inventory file.",
                    "Spaces and slashes are not allowed in the SSR.",
                    "An image named like the account number becomes the supplier's default "
                    "image.",
                })};
    case HelpTopic::Customers:
        return {QStringLiteral("Framla for customer's own items"),
                joinLines({
                    "For make-ups that are not put into stock, and for customers' own "
                    "jewellery.",
                    "",
                    "1. Select 'Cust/Sup'.",
                    "2. Type the 5-digit customer account number into the yellow field (it "
                    "cannot be abbreviated)",
                    "    and click on it or press Enter.",
                    "3. Type a unique picture name into the 'Target image name/Ssr' field.",
                    "4. Capture the image with 'Capture', or find an image file with 'Find'.",
                    "5. If the preview is already as it should be, skip the cropping in step 6.",
                    "6. Click 'Set crop marks' to crop the image, and enhance it with Bright, "
                    "Gamma and Contrast.",
                    "7. Select the size under 'Max.Pixels' (160, 320 or 640 pixels, as for "
                    "inventory).",
                    "8. Click 'Put it'.",
                    "9. After you have confirmed the put, the left-hand X deletes the source "
                    "image.",
                    "10. Repeat from step 2 for the next customer, or from step 3 for the next "
                    "item.",
                    "",
                    "Spaces and slashes are not allowed in the picture name.",
                    "When doing the valuation, enter the image name after the customer number.",
                    "An image named like the account number becomes the customer's default "
                    "image,",
                    "which can be used to identify the customer.",
                })};
    case HelpTopic::Repairs:
        return {QStringLiteral("Framla for service orders/repairs"),
                joinLines({
                    "Service orders can be photographed to record an item before it is "
                    "repaired.",
                    "",
                    "1. Select 'Repairs'.",
                    "2. Type the service order number into the yellow field and click on it or "
                    "press Enter.",
                    "3. The 'Target image name/Ssr' field shows the name allocated to the "
                    "image; it cannot be changed.",
                    "4. Capture the image with 'Capture', or find an image file with 'Find'.",
                    "5. If the preview is already as it should be, skip the cropping in step 6.",
                    "6. Click 'Set crop marks' to crop the image, and enhance it with Bright, "
                    "Gamma and Contrast.",
                    "7. Select the size under 'Max.Pixels':",
                    "    160 pixels for less detailed images,",
                    "    320 pixels for typical detail,",
                    "    640 pixels only where much detail is needed.",
                    "8. Click 'Put it'.",
                    "9. After you have confirmed the put, the left-hand X deletes the source "
                    "image.",
                    "    Repeat from step 2 for the next service order.",
                    "",
                    "Each service order has one image.",
                })};
    case HelpTopic::About:
        break;
    }
    return {QStringLiteral("About Framla"),
            joinLines({
                "WHAT FRAMLA CAN DO FOR YOU",
                "",
                "Framla is an image filing clerk for The Jewellery Tillsmith database.",
                "It files pictures of merchandise, standard stock and raw material,",
                "of supplier stock codes (SSR) and of customers' own items.",
                "It puts the images on a remote server over the Internet, so that",
                "photographs can be taken wherever the inventory is.",
                "",
                "INSTRUCTIONS FOR SETTING UP",
                "",
#ifdef Q_OS_WIN
                "The server runs Linux, or Windows with an OpenSSH server and Framaid.exe "
                "installed.",
                "ImageMagick must be installed on the same Windows computer as Framla.",
#else
                "The server runs Linux, or Windows, with an OpenSSH server and framaid "
                "installed.",
                "ImageMagick (convert, mogrify) and PuTTY's pscp and plink must be installed",
                "on the same computer as Framla.",
#endif
                "The first run opens the configuration page. Enter the server address",
                "(IP address or name) and the port (normally 22), the database path from",
                "the root directory (for example /home/jewel), and a user name and password.",
                "After a successful configuration the main control panel follows.",
                "",
                "ABOUT THIS PROGRAM",
                "",
                "Framla is the desktop half of the image filing clerk, by Tillsmith Solutions CC.",
                "Its server half is framaid: how to install it on the database server, how",
                "Framla calls it and which tables it reads is told in framaid/README.md",
                "of the Framla sources.",
                "",
            }) + QStringLiteral("\r\nFramla version ") +
                QLatin1String(kVersion) + QStringLiteral(". All rights reserved.")};
}

} // namespace framla::app::layout
