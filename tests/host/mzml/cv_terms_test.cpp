// Every term the writer uses, held against the vocabularies of Debian's
// openms-common: psi-ms.obo for MS terms, unit.obo beside it for UO terms.
#include <host/mzml/cv_terms.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

namespace {

using orvohost::mzml::cv_table;
using orvohost::mzml::CvTerm;

struct OboTerm {
    std::string name;
    bool obsolete = false;
};

// The [Term] stanzas of an obo file by id.
std::map<std::string, OboTerm> read_obo(const std::filesystem::path& path) {
    std::map<std::string, OboTerm> terms;
    std::ifstream in(path);
    std::string line;
    std::string id;
    while (std::getline(in, line)) {
        if (line.starts_with("[")) {
            id.clear();
        } else if (line.starts_with("id: ")) {
            id = line.substr(4);
            terms[id];
        } else if (!id.empty() && line.starts_with("name: ")) {
            terms[id].name = line.substr(6);
        } else if (!id.empty() && line == "is_obsolete: true") {
            terms[id].obsolete = true;
        }
    }
    return terms;
}

// The CV folder of openms-common (/usr/share/openms/CV, or a versioned
// openms-X folder); empty when the package is not installed.
std::filesystem::path vocabulary_folder() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/share", error)) {
        const auto folder = entry.path() / "CV";
        if (entry.path().filename().string().starts_with("openms") &&
            std::filesystem::is_regular_file(folder / "psi-ms.obo"))
            return folder;
    }
    return {};
}

TEST(MzmlCvTerms, EveryTermIsNamedAsItsVocabularyNamesIt) {
    const auto folder = vocabulary_folder();
    if (folder.empty())
        GTEST_SKIP() << "no psi-ms.obo under /usr/share/openms*/CV (Debian's openms-common): "
                        "the terms are not checked";
    const auto ms = read_obo(folder / "psi-ms.obo");
    ASSERT_GT(ms.size(), 1000U) << "psi-ms.obo read as almost empty";
    std::map<std::string, OboTerm> uo;
    if (std::filesystem::is_regular_file(folder / "unit.obo"))
        uo = read_obo(folder / "unit.obo");
    std::size_t checked = 0;
    for (const CvTerm& term : cv_table()) {
        SCOPED_TRACE(std::string(term.accession));
        const std::string id(term.accession);
        const auto& vocabulary = term.cv_ref() == "MS" ? ms : uo;
        ASSERT_TRUE(term.cv_ref() == "MS" || term.cv_ref() == "UO");
        if (term.cv_ref() == "UO" && uo.empty())
            continue; // said below
        const auto found = vocabulary.find(id);
        ASSERT_NE(found, vocabulary.end()) << "not in the vocabulary";
        EXPECT_EQ(found->second.name, term.name);
        EXPECT_FALSE(found->second.obsolete) << "obsolete";
        ++checked;
    }
    EXPECT_GT(checked, 0U);
    if (uo.empty())
        GTEST_SKIP() << "no unit.obo beside psi-ms.obo: the UO terms are not checked";
}

TEST(MzmlCvTerms, AccessionsAreUniqueAndEachTermHasItsPlace) {
    std::set<std::string_view> accessions;
    for (std::size_t i = 0; i < cv_table().size(); ++i) {
        const CvTerm& term = cv_table()[i];
        EXPECT_TRUE(accessions.insert(term.accession).second) << term.accession;
        EXPECT_EQ(&orvohost::mzml::cv(term.term), &term);
    }
}

} // namespace
