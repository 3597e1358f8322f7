// bench/transfer_bench.cpp: times the installer's three bulk steps on real files: ExtractZip of an
// archive, Sha256File of it and a loopback DownloadFile. Run by bench/run.sh, which sets up the
// archive and the server and sets the figures beside the native tools; never run by CI.
//
// usage: transfer_bench.exe ARCHIVE WORK_FOLDER URL RUNS [STEP]
// Prints one line per step: "<step> <best seconds> <bytes>", and "sha256 <hex>". STEP ("extract",
// "sha256" or "download") runs that step alone, for profiling.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "core/files.h"
#include "core/http.h"
#include "core/text.h"
#include "core/zip.h"

namespace {

// The best of `runs` timings of `step`; `prepare` runs untimed before each one.
double BestSeconds(int runs, const std::function<void()>& prepare, const std::function<bool()>& step) {
    double best = 0;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const auto start = std::chrono::steady_clock::now();
        if (!step()) return -1;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (i == 0 || seconds < best) best = seconds;
    }
    return best;
}

void Report(const char* step, double seconds, uint64_t bytes) {
    std::printf("%s %.4f %llu\n", step, seconds, static_cast<unsigned long long>(bytes));
    std::fflush(stdout);
}

bool TimeExtract(const std::wstring& archive, const std::wstring& work, int runs) {
    const std::wstring unpacked = work + L"\\unpacked";
    TransferProgress progress;
    std::string error;
    const double seconds = BestSeconds(
        runs, [&] { (void)RemoveTree(unpacked); },   // a leftover shows as a slower or failed extraction
        [&] { return ExtractZip(archive, unpacked, "", &progress, nullptr, &error); });
    (void)RemoveTree(unpacked);   // scratch output; nothing depends on its removal
    if (seconds < 0) {
        std::fprintf(stderr, "extract: %s\n", error.c_str());
        return false;
    }
    Report("extract", seconds, progress.total);
    return true;
}

bool TimeSha256(const std::wstring& archive, int runs) {
    std::string digest;
    const double seconds = BestSeconds(runs, [] {}, [&] {
        auto hex = Sha256File(archive);
        digest = hex.value_or("");
        return hex.has_value();
    });
    if (seconds < 0) {
        std::fprintf(stderr, "sha256: cannot read the archive\n");
        return false;
    }
    Report("sha256", seconds, FileSize(archive));
    std::printf("sha256 %s\n", digest.c_str());
    return true;
}

bool TimeDownload(const std::string& url, const std::wstring& work, int runs) {
    const std::wstring downloaded = work + L"\\downloaded.bin";
    HttpResult result;
    TransferProgress received;
    const double seconds = BestSeconds(
        runs, [&] { ::DeleteFileW(downloaded.c_str()); },
        [&] { return DownloadFile(result, url, downloaded, HttpOptions{}, nullptr, &received); });
    ::DeleteFileW(downloaded.c_str());
    if (seconds < 0) {
        std::fprintf(stderr, "download: %s\n", result.error.c_str());
        return false;
    }
    Report("download", seconds, received.done);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: transfer_bench.exe ARCHIVE WORK_FOLDER URL RUNS [STEP]\n");
        return 2;
    }
    const std::wstring archive = argv[1];
    const std::wstring work = argv[2];
    const std::string url = WideToUtf8(argv[3]);
    const int runs = std::max(1, _wtoi(argv[4]));
    const std::wstring only = argc == 6 ? argv[5] : L"";
    auto wanted = [&](const wchar_t* step) { return only.empty() || only == step; };
    bool ok = true;
    if (wanted(L"extract")) ok = TimeExtract(archive, work, runs) && ok;
    if (wanted(L"sha256")) ok = TimeSha256(archive, runs) && ok;
    if (wanted(L"download")) ok = TimeDownload(url, work, runs) && ok;
    return ok ? 0 : 1;
}
