// make_sample DEST: writes a small jewellery shop database into DEST for the
// tests and the demo: dBase tables of items, suppliers, customers and service
// orders, the images/ tree with small real JPEGs (made with ImageMagick's
// convert), jtemp/, shuttle/, framaid.conf and the probe file framla.ok.
// make_sample --photos DIR: writes product photos to file into DIR, one for
// each kind of record that has no picture yet (the operator's side of the
// demo; see makePhotos).
//
// What the sample holds on purpose (the tests rely on it):
//   AB10001 own picture, tag 2000000100014; AB10003 and AB10005 show their
//   supplier's picture (1234: RING5, RING7); AB00012 the pool picture
//   ssr/0/KID1; AB10004 no picture at all; AB19999 deleted; group GH (watches)
//   and K (raw materials) have no directory; F0001 raw material with picture;
//   supplier 1500 has no picture directory, 7777 an empty one; customer 12345
//   has pictures, 23456 an empty directory, 54321 none; service orders
//   or000101-or000108, pictures for or000101, or000102, or000105;
//   AB10002.jpg is the picture a web upload would publish (test-server gives
//   it to www-data); AB---12 (typed as AB12) is the demo's first look-up;
//   AB10004, supplier 1001's stock reference RW3 (item AB10008), customer
//   23456 (an empty directory) and service order or000107 have no picture:
//   the demo's photos are for them.
#include "dbf_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Item {
    const char *code, *desc, *supplier, *ssr, *metal, *weight, *price, *tag;
    bool picture;
    bool deleted = false;
};

const std::vector<Item> kItems = {
    {"AB10001", "Solitaire ring, 0.50ct diamond", "1234", "RING5", "18ct white gold", "3.20",
     "2450.00", "2000000100014", true},
    {"AB10002", "Wedding band, 4mm court", "1001", "WB4", "18ct yellow gold", "5.10", "640.00",
     "2000000100021", true},
    {"AB10003", "Signet ring, oval face", "1234", "RING5", "9ct yellow gold", "4.60", "395.00", "",
     false},
    {"AB10004", "Eternity ring, half set", "2500", "ET22", "Platinum", "3.90", "1850.00", "",
     false},
    {"AB10005", "Sapphire cluster ring", "1234", "ring7", "18ct yellow gold", "3.40", "1290.00", "",
     false},
    {"AB10006", "Garnet dress ring", "1001", "GR3", "9ct rose gold", "2.80", "275.00", "", true},
    {"AB10007", "Emerald three-stone ring", "1234", "RING9", "18ct yellow gold", "3.70", "2100.00",
     "", true},
    {"AB10008", "Russian wedding ring", "1001", "RW3", "9ct tri-colour gold", "6.20", "520.00", "",
     false},
    {"AB10009", "Opal solitaire ring", "2500", "OP1", "Silver", "2.40", "145.00", "", true},
    {"AB10010", "Mourning ring, c.1860", "", "", "15ct gold", "2.10", "850.00", "", true},
    {"AB---12", "Gold ring, plain band 2mm", "1001", "PB2", "9ct yellow gold", "1.80", "150.00", "",
     true},
    {"AB00012", "Child's ring, heart", "0", "KID1", "Silver", "1.10", "35.00", "", false},
    {"AB19999", "Withdrawn ring", "1234", "RING5", "Silver", "2.00", "10.00", "", false, true},
    {"CD20001", "Belcher chain, 18in", "1001", "BC18", "9ct yellow gold", "4.80", "310.00",
     "2000000200011", true},
    {"CD20002", "Curb chain, 20in", "1234", "CHAIN2", "Silver", "12.30", "95.00", "", false},
    {"CD20003", "Rope chain, 16in", "1001", "RC16", "18ct yellow gold", "7.90", "980.00", "", true},
    {"CD20004", "Box chain, 22in", "7777", "BX22", "Silver", "8.40", "70.00", "", false},
    {"CD20005", "Figaro bracelet, 7.5in", "1234", "FIG7", "9ct white gold", "6.00", "420.00", "",
     true},
    {"CD20006", "Snake chain, 18in", "1001", "SN18", "Silver", "5.50", "60.00", "", false},
    {"EF30001", "Pearl stud earrings, 7mm", "2500", "PS7", "9ct yellow gold", "1.20", "120.00", "",
     false},
    {"EF30002", "Diamond hoop earrings", "1234", "HOOP1", "18ct white gold", "3.30", "1650.00", "",
     true},
    {"EF30003", "Drop earrings, aquamarine", "2500", "AQ4", "Silver", "2.70", "185.00", "", true},
    {"EF30004", "Pearl drop earrings, 9mm", "2500", "PS9", "Silver", "3.10", "165.00", "", false},
    {"EF30005", "Creole earrings", "1001", "CR2", "9ct yellow gold", "2.20", "210.00", "", false},
    {"GH40001", "Automatic watch, steel, 40mm", "4321", "AUT40", "Steel", "98.00", "1450.00", "",
     false},
    {"GH40002", "Dress watch, leather strap", "4321", "DRS36", "Gold plated", "41.00", "690.00", "",
     false},
    {"GH40003", "Pocket watch, open face", "", "", "Silver", "86.00", "560.00", "", false},
    {"1200034", "Gift voucher card", "", "", "", "", "0.00", "", true},
    {"1200101", "Ring box, green leather", "7777", "RBX1", "", "", "18.00", "", false},
    {"F0001", "Fine gold grain, 999.9", "1001", "FG999", "Fine gold", "100.00", "5600.00", "",
     true},
    {"F0002", "Silver solder, medium", "1001", "SSM", "Silver", "10.00", "28.00", "", false},
    {"F0003", "Gold wire, 0.8mm, 18ct", "1234", "GW08", "18ct yellow gold", "20.00", "1120.00", "",
     true},
    {"K0001", "Ruby, 4mm round cabochon", "2500", "RB4", "", "0.30", "90.00", "", false},
};

struct Account {
    const char *account, *name, *city, *phone;
    std::vector<const char *> pictures; // names of pictures in its directory
    bool directory;                     // has a picture directory
};

const std::vector<Account> kSuppliers = {
    {"1001", "Goldcraft Ltd", "Birmingham", "0121 496 0101", {"WB4", "BC18", "GR3"}, true},
    {"1234",
     "Bellini Oro S.p.A.",
     "Vicenza",
     "+39 0444 000 123",
     {"RING5", "RING7", "CHAIN2"},
     true},
    {"1500", "Nordic Silver AS", "Oslo", "+47 22 00 15 00", {}, false},
    {"2500", "Orient Pearl Co.", "Kobe", "+81 78 000 2500", {"PS7", "PS9"}, true},
    {"4321", "Helvetia Time SA", "Biel", "+41 32 000 43 21", {"AUT40"}, true},
    {"7777", "Atelier R\xe9my", "Lyon", "+33 4 00 00 77 77", {}, true},
};

const std::vector<Account> kCustomers = {
    {"10001", "Mrs A. Whitfield", "Harrogate", "", {"RING"}, true},
    {"12345", "Mr J. Okafor", "Leeds", "", {"BROOCH", "WATCH1"}, true},
    {"23456", "Ms L. Brennan", "York", "", {}, true},
    {"54321", "Dr P. Laine", "Ripon", "", {}, false},
    {"99999", "Counter sales", "", "", {}, false},
};

struct Order {
    const char *number, *customer, *desc, *received, *due, *status;
    bool picture;
};

const std::vector<Order> kOrders = {
    {"or000101", "12345", "Resize ring from N to P", "20240304", "20240318", "In workshop", true},
    {"or000102", "10001", "Restring pearl necklace, knotted", "20240305", "20240326",
     "Waiting parts", true},
    {"or000103", "23456", "Replace watch battery and seals", "20240311", "20240312", "Ready",
     false},
    {"or000104", "54321", "Re-tip four claws", "20240312", "20240402", "Received", false},
    {"or000105", "12345", "Clean and polish brooch", "20240315", "20240322", "Ready", true},
    {"or000106", "99999", "Engrave initials inside band", "20240318", "20240320", "Collected",
     false},
    {"or000107", "10001", "Solder broken chain link", "20240320", "20240327", "In workshop", false},
    {"or000108", "23456", "Valuation for insurance", "20240321", "20240404", "Received", false},
};

bool makeDir(const std::string &path, mode_t mode)
{
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "make_sample: cannot make %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    ::chmod(path.c_str(), mode);
    return true;
}

bool writeText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

struct Picture {
    std::string path, background, foreground;
    int radius;
};

// Runs ImageMagick's convert with args (without the program name).
bool runConvert(std::vector<std::string> args)
{
    args.insert(args.begin(), "convert");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp("convert", argv.data());
        std::fprintf(stderr, "make_sample: cannot run ImageMagick's convert: %s\n",
                     std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) < 0)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// All pictures in one run of convert: each is a coloured square with a disc.
bool makePictures(const std::vector<Picture> &pictures)
{
    std::vector<std::string> args{"-quality", "85"};
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const Picture &p = pictures[i];
        args.insert(args.end(), {"-size", "96x96", "xc:" + p.background, "-fill", p.foreground,
                                 "-draw", "circle 48 48 48 " + std::to_string(48 - p.radius)});
        if (i + 1 < pictures.size())
            args.insert(args.end(), {"-write", p.path, "+delete"});
        else
            args.push_back(p.path);
    }
    return runConvert(args);
}

// A photo as a camera leaves it: drawing (ImageMagick's arguments that draw
// the picture) with fine noise and a touch of blur, written as a JPEG of
// quality 88 to file.
std::vector<std::string> cameraJpeg(std::vector<std::string> drawing, const std::string &file)
{
    drawing.insert(drawing.end(), {"-attenuate", "0.25", "+noise", "Gaussian", "-blur", "0x0.6",
                                   "-quality", "88", file});
    return drawing;
}

// The operator's side of the demo: photos as a camera or a scanner leaves
// them, in the formats the "Find" dialog offers, one for each kind of record
// and named after a record that has no picture on file yet, so that each can
// be looked up, cropped and put without a question: the inventory item
// AB10004, supplier 1001's stock reference RW3, a picture PEARLS of customer
// 23456's own earrings, and service order or000107 (a broken chain).
bool makePhotos(const std::string &dir)
{
    std::vector<std::vector<std::string>> photos = {
        // A platinum eternity ring on a warm backdrop, 1600 x 1200 JPEG.
        cameraJpeg({"-size",
                    "1600x1200",
                    "radial-gradient:#fbf8f1-#d8d0c0",
                    "-fill",
                    "#00000022",
                    "-draw",
                    "ellipse 800 933 440 80 0 360",
                    "-fill",
                    "none",
                    "-stroke",
                    "#7d8088",
                    "-strokewidth",
                    "75",
                    "-draw",
                    "ellipse 800 627 333 280 0 360",
                    "-stroke",
                    "#c9ccd3",
                    "-strokewidth",
                    "24",
                    "-draw",
                    "ellipse 800 616 333 280 0 360",
                    "-stroke",
                    "#f4f5f7",
                    "-strokewidth",
                    "7",
                    "-draw",
                    "ellipse 800 608 333 280 0 360",
                    "-stroke",
                    "none",
                    "-fill",
                    "#ffffff",
                    "-draw",
                    "circle 800 349 800 307",
                    "-fill",
                    "#dfe9f7",
                    "-draw",
                    "circle 560 400 560 373",
                    "-draw",
                    "circle 1040 400 1040 373"},
                   dir + "/AB10004.jpg"),
        // A Russian wedding ring: three bands of yellow, white and rose gold,
        // 1200 x 900 JPEG.
        cameraJpeg({"-size",
                    "1200x900",
                    "radial-gradient:#f8f5ef-#d6cfc2",
                    "-fill",
                    "#00000022",
                    "-draw",
                    "ellipse 600 720 330 60 0 360",
                    "-fill",
                    "none",
                    "-strokewidth",
                    "34",
                    "-stroke",
                    "#d4a73a",
                    "-draw",
                    "ellipse 520 430 230 200 0 360",
                    "-stroke",
                    "#e3e4e8",
                    "-draw",
                    "ellipse 680 430 230 200 0 360",
                    "-stroke",
                    "#d99a86",
                    "-draw",
                    "ellipse 600 380 200 230 0 360"},
                   dir + "/RW3.jpg"),
        // A customer's pearl studs, 800 x 600 PNG.
        {"-size",
         "800x600",
         "radial-gradient:#f6f1fa-#cfc6d6",
         "-fill",
         "#00000020",
         "-draw",
         "ellipse 280 427 100 20 0 360",
         "-draw",
         "ellipse 520 427 100 20 0 360",
         "-fill",
         "#efe9df",
         "-stroke",
         "#d8cfc0",
         "-strokewidth",
         "3",
         "-draw",
         "circle 280 300 280 193",
         "-draw",
         "circle 520 300 520 193",
         "-stroke",
         "none",
         "-fill",
         "#ffffff",
         "-draw",
         "circle 247 260 247 233",
         "-draw",
         "circle 487 260 487 233",
         "-fill",
         "#c9a227",
         "-draw",
         "rectangle 273 407 287 440",
         "-draw",
         "rectangle 513 407 527 440",
         "-blur",
         "0x0.8",
         dir + "/PEARLS.png"},
    };
    // A silver curb chain in for repair, hanging in a curve with a link
    // missing, 640 x 480 BMP: links drawn one by one, alternately face on
    // and edge on.
    std::vector<std::string> chain{"-size", "640x480", "radial-gradient:#eef3f6-#c4ced6",
                                   "-fill", "none",    "-strokewidth",
                                   "4"};
    for (int i = 0; i <= 90; ++i) {
        if (i == 52)
            continue;
        const double t = i / 90.0;
        const int x = 80 + static_cast<int>(480 * t);
        const int y = 130 + static_cast<int>(1100 * t * (1 - t));
        chain.insert(chain.end(), {"-stroke", i % 2 ? "#8d969e" : "#c3cad0", "-draw",
                                   "ellipse " + std::to_string(x) + " " + std::to_string(y) +
                                       (i % 2 ? " 9 4" : " 9 7") + " 0 360"});
    }
    chain.insert(chain.end(), {"-attenuate", "0.3", "+noise", "Gaussian", "-blur", "0x0.7", "-type",
                               "TrueColor", "BMP3:" + dir + "/or000107.bmp"});
    photos.push_back(chain);
    for (const std::vector<std::string> &photo : photos)
        if (!runConvert(photo))
            return false;
    return true;
}

const char *kConfig = R"(# framaid.conf: which tables and fields framaid reads. Every line is
# optional; these are the values framaid uses when a line is missing.
items = items.dbf
items.code = CODE
items.desc = DESC
items.supplier = SUPPLIER
items.ssr = SSR
items.tag = TAG
items.show = METAL, WEIGHT, PRICE
suppliers = suppliers.dbf
suppliers.account = ACCOUNT
suppliers.name = NAME
suppliers.show = CITY, PHONE
customers = customers.dbf
customers.account = ACCOUNT
customers.name = NAME
customers.show = CITY
orders = orders.dbf
orders.number = ORDERNO
orders.desc = DESC
orders.customer = CUSTOMER
orders.show = RECEIVED, DUE, STATUS
codepage = CP1252
create_account_dirs = yes
)";

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--photos") {
        // An existing directory (the operator's working directory, say) keeps its mode.
        if ((::mkdir(argv[2], 0755) != 0 && errno != EEXIST) || !makePhotos(argv[2])) {
            std::fprintf(stderr, "make_sample: the sample photos could not be made in %s\n",
                         argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample DEST\n"
                             "       make_sample --photos DIR   (sample product photos to file)\n");
        return 2;
    }
    const std::string db = argv[1];
    const std::vector<std::string> dirs{"",
                                        "/jtemp",
                                        "/shuttle",
                                        "/images",
                                        "/images/AB",
                                        "/images/CD",
                                        "/images/EF",
                                        "/images/12",
                                        "/images/F",
                                        "/images/ord",
                                        "/images/ssr",
                                        "/images/ssr/0",
                                        "/images/cust"};
    for (const std::string &d : dirs)
        if (!makeDir(db + d, d == "/jtemp" ? 01777 : 0755))
            return 1;

    std::vector<Picture> pictures;
    DbfWriter items(itemFields());
    int n = 0;
    for (const Item &i : kItems) {
        items.add({i.code, i.desc, i.supplier, i.ssr, i.metal, i.weight, i.price, i.tag},
                  i.deleted);
        const std::string code = i.code;
        const std::string group = code.size() == 5 ? code.substr(0, 1) : code.substr(0, 2);
        if (i.picture)
            pictures.push_back({db + "/images/" + group + "/" + code + ".jpg", "#f4ecd8", "#c9a227",
                                10 + n++ % 20});
    }

    DbfWriter suppliers(
        {{"ACCOUNT", 'C', 4}, {"NAME", 'C', 40}, {"CITY", 'C', 20}, {"PHONE", 'C', 20}});
    for (const Account &a : kSuppliers) {
        suppliers.add({a.account, a.name, a.city, a.phone});
        if (a.directory && !makeDir(db + "/images/ssr/" + a.account, 0755))
            return 1;
        for (const char *p : a.pictures)
            pictures.push_back({db + "/images/ssr/" + a.account + "/" + p + ".jpg", "#dde4ee",
                                "#5a6f8f", 8 + n++ % 20});
    }
    pictures.push_back({db + "/images/ssr/0/KID1.jpg", "#fde2e4", "#d64561", 20});

    DbfWriter customers({{"ACCOUNT", 'C', 5}, {"NAME", 'C', 40}, {"CITY", 'C', 20}});
    for (const Account &a : kCustomers) {
        customers.add({a.account, a.name, a.city});
        if (a.directory && !makeDir(db + "/images/cust/" + a.account, 0755))
            return 1;
        for (const char *p : a.pictures)
            pictures.push_back({db + "/images/cust/" + a.account + "/" + p + ".jpg", "#e3f1e6",
                                "#3c7a4a", 8 + n++ % 20});
    }

    DbfWriter orders({{"ORDERNO", 'C', 8},
                      {"CUSTOMER", 'C', 5},
                      {"DESC", 'C', 60},
                      {"RECEIVED", 'D', 8},
                      {"DUE", 'D', 8},
                      {"STATUS", 'C', 12}});
    for (const Order &o : kOrders) {
        orders.add({o.number, o.customer, o.desc, o.received, o.due, o.status});
        if (o.picture)
            pictures.push_back(
                {db + "/images/ord/" + o.number + ".jpg", "#ececec", "#7a4f2a", 8 + n++ % 20});
    }

    // A transfer table already waiting in the shuttle directory.
    DbfWriter transfer({{"CODE", 'C', 7}, {"QTY", 'N', 5}});
    transfer.add({"AB10001", "2"});
    transfer.add({"CD20003", "1"});

    const bool written = items.save(db + "/items.dbf") && suppliers.save(db + "/suppliers.dbf") &&
                         customers.save(db + "/customers.dbf") && orders.save(db + "/orders.dbf") &&
                         transfer.save(db + "/shuttle/ix0001.dbf") &&
                         writeText(db + "/shuttle/export.csv", "code,qty\r\nAB10001,2\r\n") &&
                         writeText(db + "/framaid.conf", kConfig) &&
                         writeText(db + "/framla.ok", "Framla database directory\n");
    if (!written) {
        std::fprintf(stderr, "make_sample: cannot write the tables in %s\n", db.c_str());
        return 1;
    }
    if (!makePictures(pictures)) {
        std::fprintf(stderr, "make_sample: ImageMagick's convert failed to make the pictures\n");
        return 1;
    }
    return 0;
}
