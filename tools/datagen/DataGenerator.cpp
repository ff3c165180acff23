#include "DataGenerator.h"

#include "Composition.h"
#include "PictureCatalogue.h"
#include "PictureWriter.h"
#include "XmWriter.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace datagen {

namespace {

bool wanted(const GeneratorOptions& options, const std::string& name) {
    return options.only.empty() || std::find(options.only.begin(), options.only.end(), name) != options.only.end();
}

} // namespace

std::vector<std::string> dataFileNames() {
    std::vector<std::string> names;
    for (const PictureFile& file : pictureFiles())
        names.push_back(file.name);
    names.push_back(kModuleName);
    return names;
}

void generateData(const GeneratorOptions& options) {
    for (const std::string& name : options.only) {
        std::vector<std::string> names = dataFileNames();
        if (std::find(names.begin(), names.end(), name) == names.end())
            throw std::runtime_error("no data file is called " + name);
    }
    std::error_code error;
    std::filesystem::create_directories(options.directory, error);
    if (error || !std::filesystem::is_directory(options.directory))
        throw std::runtime_error("cannot create the directory " + options.directory);

    // The jobs: every wanted picture, and the module as one more job. Each job writes its own
    // file, so the order in which the threads take them does not change any byte.
    const std::vector<PictureFile>& pictures = pictureFiles();
    std::vector<int> jobs;
    for (int i = 0; i < static_cast<int>(pictures.size()); ++i)
        if (wanted(options, pictures[static_cast<std::size_t>(i)].name))
            jobs.push_back(i);
    if (wanted(options, kModuleName))
        jobs.insert(jobs.begin(), -1); // the module takes longest: start it first

    std::atomic<std::size_t> next{0};
    std::mutex reportLock;
    std::exception_ptr failure;
    auto report = [&](const std::string& line) {
        std::lock_guard<std::mutex> guard(reportLock);
        if (options.progress)
            options.progress(line);
    };
    auto worker = [&] {
        for (;;) {
            std::size_t index = next.fetch_add(1);
            if (index >= jobs.size())
                return;
            try {
                {
                    std::lock_guard<std::mutex> guard(reportLock);
                    if (failure)
                        return;
                }
                int job = jobs[index];
                std::string path;
                if (job < 0) {
                    path = (std::filesystem::path(options.directory) / kModuleName).string();
                    writeFile(path, XmWriter::write(composeModule()));
                } else {
                    const PictureFile& file = pictures[static_cast<std::size_t>(job)];
                    path = (std::filesystem::path(options.directory) / file.name).string();
                    writeFile(path, encodePicture(file, file.paint()));
                }
                report("wrote " + path);
            } catch (...) {
                std::lock_guard<std::mutex> guard(reportLock);
                if (!failure)
                    failure = std::current_exception();
                return;
            }
        }
    };
    int threadCount = std::clamp(options.threads, 1, 2);
    std::vector<std::thread> helpers;
    for (int i = 1; i < threadCount; ++i)
        helpers.emplace_back(worker);
    worker();
    for (std::thread& helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace datagen
