// brackwell-cli --verify-data: one line per descriptor, a summary on stderr.
#include "verify.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "json.h"
#include "links/links.h"
#include "output.h"
#include "progress.h"
#include "runs/datacheck.h"

namespace {

// Chunk numbers named in a text line at most; JSON has every chunk.
constexpr std::size_t NamedChunks = 10;

// "OK (3 good, 0 corrupt, 1 missing; 29184000 of 38912000 bytes)", then
// the corrupt chunks and a disagreement of the part hashes, if any.
std::string TextLine(const TDataCheck &check)
{
    std::string line;
    if (!check.Error.empty()) {
        line = "ERROR (" + check.Error + ")";
    } else {
        line = std::string(check.Passed() ? "OK" : "FAILED") + " (" + std::to_string(check.Good) + " good, "
               + std::to_string(check.Corrupt) + " corrupt, " + std::to_string(check.Missing) + " missing; "
               + std::to_string(check.BytesComplete) + " of " + std::to_string(check.Size) + " bytes";
        std::vector<std::size_t> corrupt;
        for (std::size_t k = 0; k < check.Chunks.size(); ++k) {
            if (check.Chunks[k] == TChunkVerdict::Corrupt)
                corrupt.push_back(k + 1);
        }
        if (!corrupt.empty()) {
            line += corrupt.size() == 1 ? "; corrupt: chunk " : "; corrupt: chunks ";
            for (std::size_t i = 0; i < std::min(corrupt.size(), NamedChunks); ++i)
                line += (i ? ", " : "") + std::to_string(corrupt[i]);
            if (corrupt.size() > NamedChunks)
                line += " and " + std::to_string(corrupt.size() - NamedChunks) + " more";
        }
        if (!check.HashesAgree.value_or(false))
            line += "; the part hashes do not give the file hash";
        line += ")";
    }
    return EscapeControlBytes(line) + "\t" + EscapeControlBytes(check.DescriptorPath) + "\n";
}

std::string JsonLine(const TDataCheck &check)
{
    TJsonObject json;
    json.Add("path", check.DescriptorPath);
    json.Add("data_file", check.DataPath);
    json.Add("size", check.Size);
    std::string chunks = "[";
    for (std::size_t k = 0; k < check.Chunks.size(); ++k)
        chunks += std::string(k ? ",\"" : "\"") + ChunkVerdictText(check.Chunks[k]) + "\"";
    json.AddRaw("chunks", chunks + "]");
    json.Add("good", check.Good);
    json.Add("corrupt", check.Corrupt);
    json.Add("missing", check.Missing);
    json.Add("bytes_complete", check.BytesComplete);
    if (check.HashesAgree)
        json.AddRaw("hashes_agree", *check.HashesAgree ? "true" : "false");
    else
        json.AddNull("hashes_agree");
    if (check.Error.empty())
        json.AddNull("error");
    else
        json.Add("error", check.Error);
    return json.Text() + "\n";
}

} // namespace

void PrintVerifyHelp()
{
    std::printf(
        "\n"
        "Checking downloads: brackwell-cli --verify-data [--format=json] X.part.met...\n"
        "  --verify-data           check the data file beside each descriptor (X.part\n"
        "                          for X.part.met) chunk by chunk: a chunk is good\n"
        "                          when its MD4 is the part hash the descriptor\n"
        "                          records, corrupt when it differs, missing when a\n"
        "                          byte of it is in a gap or past the data file's end;\n"
        "                          prints OK, FAILED or ERROR with the counts, a TAB\n"
        "                          and the path, per descriptor in order (with\n"
        "                          --format=json an object per descriptor: path,\n"
        "                          chunks, good, corrupt, missing, bytes_complete,\n"
        "                          hashes_agree, error); a summary goes to stderr\n"
        "Exit status: 0 when every descriptor was checked, no complete chunk is\n"
        "corrupt and the part hashes give the file hash; 1 otherwise; 2 on bad usage.\n");
}

int RunVerifying(const TOptions &options, const TRunContext &context)
{
    const bool json = options.format->Name == "json";
    // The complete chunks side by side on two cores, as one file is hashed.
    TDataCheckOptions checkOptions;
    checkOptions.Threads = std::min(2u, std::max(1u, context.Cores));
    TProgressLine &progress = context.Progress;
    TOutput out;
    int status = 0;
    std::size_t passed = 0, failed = 0, unchecked = 0;
    for (const std::string &path : options.paths) {
        std::int64_t total = 0;
        checkOptions.OnStart = [&total](std::int64_t chunks) { total = chunks; };
        checkOptions.OnChunk = [&](std::int64_t done) { progress.Show(path, done, total); };
        const TDataCheck check = CheckPartData(path, checkOptions);
        progress.Clear();
        if (!out.Write(json ? JsonLine(check) : TextLine(check))) {
            status = 1;
            break;
        }
        if (check.Passed()) {
            ++passed;
        } else {
            status = 1;
            ++(check.Error.empty() ? failed : unchecked);
        }
    }
    if (!out.Close())
        status = 1;
    std::fprintf(stderr, "%zu OK, %zu failed%s\n", passed, failed,
                 unchecked ? (", " + std::to_string(unchecked) + " not checked").c_str() : "");
    return status;
}
