#pragma once
// The stylesheets pages link, for keeping the text their rules make
// preformatted (PreformattedRules.h): read from the disk once per run, whoever
// asks first, and shared by the run's threads.
//
// A sheet is found relative to the page's folder, as a browser finds it from a
// file: a query ("?v=2") and a fragment are no part of the name, "%xx" is the
// byte xx. An address with a scheme ("https:", "data:"), one for another host
// ("//host/...") and one from the site's root ("/css/a.css", whose root is not
// known here) name no sheet on this disk. "." and ".." are resolved by name, as a
// browser resolves them. In a directory command a sheet is read only when it lies
// inside the listed folder, and the way the walk reads a file there.

#include "text/PreformattedRules.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// The path of the sheet href names, from the page at page, tidied; "" when it
// names none on this disk.
std::string SheetPath(std::string_view page, std::string_view href);

class StyleSheetCache {
public:
    // The rules of the sheet at path (as SheetPath gives it), read at the first
    // ask; nullptr when it cannot be read, or lies outside root (not empty).
    const PreformattedRules* Rules(const std::string& path, const std::string& root);

private:
    std::mutex mutex_;
    // By root and path (null: not readable).
    std::unordered_map<std::string, std::unique_ptr<PreformattedRules>> sheets_;
};

// The sheets one page links.
class PageStyleSheets : public LinkedStyleSheets {
public:
    // root: the folder a directory command lists ("" for a file named alone).
    PageStyleSheets(StyleSheetCache& cache, std::string page, std::string root = {})
        : cache_(&cache), page_(std::move(page)), root_(std::move(root)) {}
    const PreformattedRules* Sheet(std::string_view href) override;

private:
    StyleSheetCache* cache_;
    std::string page_;
    std::string root_;
};
