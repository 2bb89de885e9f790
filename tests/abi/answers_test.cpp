// The constant answers of the plug-in and the safe answers of a fresh
// meter, through the entry points as a host calls them.
#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <string>

#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace korvo::test {
namespace {

class AnswersTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(lib_.loaded() && lib_.missing().empty()) << lib_.error(); }

  TempDir dir_;
  PluginLibrary lib_{dir_.path()};
};

TEST_F(AnswersTest, InitListsTheFifteenQueries) {
  EXPECT_STREQ(lib_->init(),
               "GetTitle|GetLink|GetDescription|GetLanguage|GetCopyright|GetLastBuildDate|"
               "GetManagingEditor|GetRating|GetPubDate|GetItemTitle|GetItemLink|"
               "GetItemDescription|GetItemPubDate|GetTitleOfItems|GetTitleOfItemsNT");
}

TEST_F(AnswersTest, ConstantAnswers) {
  EXPECT_STREQ(lib_->actionsprovided(), "5001|");
  EXPECT_EQ(lib_->dlltype(), 5);
  EXPECT_EQ(lib_->configure(), 0);
  EXPECT_EQ(lib_->input_configure(1, 2), 0);
  EXPECT_EQ(lib_->input_load_settings(1, 2, 3), 0);
  EXPECT_EQ(lib_->input_save_settings(1, 2, 3), 0);
}

TEST_F(AnswersTest, GetInfoByIndex) {
  struct Case {
    unsigned index;
    const char* expected;  // null: any constant, non-empty text
  };
  const Case cases[] = {
      {0, "Korvo"},  {1, nullptr}, {2, "0.93"}, {3, "2005"},
      {4, "2007-01-25"}, {5, ""}, {6, nullptr}, {7, "RSS reader plugin"},
      {8, ""},       {9, ""},     {1000, ""},   {static_cast<unsigned>(-1), ""},
      {static_cast<unsigned>(INT_MIN), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    const char* text = lib_->getinfo(c.index);
    ASSERT_NE(text, nullptr);
    if (c.expected) EXPECT_STREQ(text, c.expected);
    else EXPECT_STRNE(text, "");
  }
}

TEST_F(AnswersTest, GetParamIgnoresLetterCase) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"GetItemTitle", "Item number.|"},       {"getitemtitle", "Item number.|"},
      {"GETITEMLINK", "Item number.|"},        {"GetItemDescription", "Item number.|"},
      {"getItemPubDate", "Item number.|"},     {"GetTitleOfItems", "Number of items:|"},
      {"gettitleofitemsnt", "Number of items:|"}, {"GetTitle", ""},
      {"GetPubDate", ""},                      {"GetItemTitle ", ""},
      {"GetItem", ""},                         {"", ""},
      {nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "(null)");
    const char* text = lib_->getparam(c.name);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.expected);
  }
}

TEST_F(AnswersTest, FreshMetersAnswerEmptyTexts) {
  const int id = lib_->dllstartup(0, 0);
  EXPECT_EQ(id, 0);
  for (int meter : {id, 7, -1}) {
    SCOPED_TRACE(meter);
    for (const auto& q : kChannelQueries) {
      SCOPED_TRACE(q.name);
      const char* text = ((*lib_).*q.query)(meter);
      ASSERT_NE(text, nullptr);
      EXPECT_STREQ(text, "");
    }
    for (const auto& q : kItemQueries) {
      SCOPED_TRACE(q.name);
      for (const char* number :
           std::initializer_list<const char*>{"0", "3", "-1", "abc", "", "99999999999", nullptr}) {
        const char* text = ((*lib_).*q.query)(meter, number);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, "");
      }
    }
  }
  EXPECT_EQ(lib_->dllshutdown(id), 0);
}

TEST_F(AnswersTest, MeterCallsAcceptNullAndUnknownIds) {
  const std::string ini = dir_.file("host.ini");
  const int id = lib_->dllstartup(0, 0);
  EXPECT_EQ(lib_->src_load_settings(id, nullptr, nullptr), 0);
  EXPECT_EQ(lib_->src_load_settings(id, ini.c_str(), nullptr), 0);
  EXPECT_EQ(lib_->src_load_settings(id, dir_.path().c_str(), "Meter"), 0) << "a directory";
  EXPECT_EQ(lib_->src_load_settings(42, ini.c_str(), "Meter"), 0);
  EXPECT_EQ(lib_->src_save_settings(id, nullptr, nullptr), 0);
  EXPECT_EQ(lib_->src_save_settings(id, ini.c_str(), "Meter"), 0);
  EXPECT_EQ(lib_->pastemeter(id, 43), 0);
  EXPECT_EQ(lib_->pastemeter(-5, id), 0);
  EXPECT_EQ(lib_->action(0, 5001, 44, 0, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(lib_->action(0, 5000, id, 0, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(lib_->dllshutdown(12345), 0);
  EXPECT_EQ(lib_->dllshutdown(id), 0);
  EXPECT_EQ(lib_->dllshutdown(id), 0) << "twice";
  EXPECT_STREQ(lib_->GetTitle(id), "");
}

TEST_F(AnswersTest, ShutdownOfAnUnknownIdCreatesNothing) {
  EXPECT_EQ(lib_->dllshutdown(0), 0);
  EXPECT_EQ(lib_->dllshutdown(1), 0);
  EXPECT_EQ(lib_->dllstartup(0, 0), 0);
  EXPECT_EQ(lib_->dllstartup(0, 0), 1);
}

}  // namespace
}  // namespace korvo::test
