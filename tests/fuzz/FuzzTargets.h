#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The bodies of the fuzz targets: one plain function per parser of outside
// input. clang builds each into a libFuzzer program (fuzz_main.cpp); g++
// builds them into the ordinary suite, which replays every stored input
// (tst_fuzzreplay). A function returns normally on any input: a crash, or
// abort() from a broken promise of the code under test, is the finding.
namespace Fuzz {

using Function = void (*)(const uint8_t* data, size_t size);

// Drop files of both formats: encoding choice, line splitting (whole and in
// pieces), the line parser.
void fuzzDropFile(const uint8_t* data, size_t size);
// The modem answer matcher: acceptance, errors, the echo of the text.
void fuzzModemAnswer(const uint8_t* data, size_t size);
// A gateway body: decoding, success markers, the ledger's answer.
void fuzzGatewayBody(const uint8_t* data, size_t size);
// A delivery report answer: classification, the stored reply, the report URL.
void fuzzReportAnswer(const uint8_t* data, size_t size);
// Queue stamps and the date patterns.
void fuzzQueueStamp(const uint8_t* data, size_t size);
// The send URL: template filling, UrlEncode, the request URL.
void fuzzSendUrl(const uint8_t* data, size_t size);
// Spreadsheets through SheetReader::open, the import's entry, each with the
// extension of its format (the contents decide the reader).
void fuzzXls(const uint8_t* data, size_t size);
void fuzzXlsx(const uint8_t* data, size_t size);
void fuzzCsv(const uint8_t* data, size_t size);

struct Target
{
    const char* name; // the folder of its corpus and regressions, the program's suffix
    Function run;
};
const std::vector<Target>& targets();
Function byName(const char* name);

} // namespace Fuzz
