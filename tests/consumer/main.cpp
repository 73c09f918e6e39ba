// Parses one barcode on a new demo store: argv[1] is the store file, argv[2] the barcode.
#include <iostream>

#include "service/analyser.h"
#include "store/connstring.h"
#include "store/schema.h"
#include "store/text.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    quorvel::CreateSqliteStore(argv[1], true);
    quorvel::GetAnalyseBarCode analyser;
    analyser.ConnString(quorvel::EmbeddedConnString(argv[1]));
    std::cout << quorvel::ToUtf8(analyser.ParseBarCode(u"A,B", quorvel::FromUtf8(argv[2]), u"R01"))
              << "\n";
}
