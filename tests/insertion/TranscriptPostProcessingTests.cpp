#include "InsertionFakes.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"

#include "engine/Cld2LanguageRecognizer.h"
#include "engine/TranscriptPostProcessing.h"
#include "settings/AppSettings.h"

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

const QString kEngine = QStringLiteral("engine");

class TranscriptPostProcessingTest : public ::testing::Test {
protected:
    TranscriptPostProcessingTest() { settings.setSpeechLanguageKey(QStringLiteral("en")); }

    QString process(const QString& text, bool translationRequested = false,
                    std::optional<QString> translationError = std::nullopt) {
        return processing.process(text, translationRequested, translationError);
    }
    QString casingLine() const {
        const QStringList lines = logs.messages(kEngine, LogLevel::notice);
        return lines.isEmpty() ? QString() : lines.last();
    }

    LogCapture logs;
    MemoryKeyValueStore store;
    AppSettings settings{store};
    FakeCaretContextSource context;
    FakeLanguageRecognizer recognizer;
    std::optional<QString> frontmost = QStringLiteral("org.example.Editor");
    TranscriptPostProcessing processing{context, settings, recognizer,
                                        [this] { return frontmost; }};
};

TEST_F(TranscriptPostProcessingTest, FitsTheTextToTheCaretAndLogsWhatItSaw) {
    context.contexts = {CaretContext{QStringLiteral("I went to the"), QString()}};

    EXPECT_EQ(process(QStringLiteral("Store closed.")), QStringLiteral(" store closed."));
    EXPECT_EQ(context.radii, std::vector<qint64>{64});
    EXPECT_EQ(context.treeRequests, 0);
    EXPECT_EQ(casingLine(), QStringLiteral("[Casing] changed=true lang=en context=read(13) "
                                           "midSentence=true app=org.example.Editor"));
}

TEST_F(TranscriptPostProcessingTest, WithoutContextTheTreeIsRequestedAndReadOnceMore) {
    struct Case {
        const char* name;
        bool treeRequestResult;
        int expectedReads;
        QString expected;
        QString line;
    };
    const std::vector<Case> cases = {
        {"application refuses", false, 1, QStringLiteral("Store"),
         QStringLiteral("[Casing] changed=false lang=en context=nil midSentence=n/a app=unknown")},
        {"application asked now", true, 2, QStringLiteral(" store"),
         QStringLiteral("[Casing] changed=true lang=en context=read(3) midSentence=true "
                        "app=unknown")},
    };
    frontmost.reset();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        context.contexts = {std::nullopt, CaretContext{QStringLiteral("the"), std::nullopt}};
        context.radii.clear();
        context.treeRequestResult = c.treeRequestResult;

        EXPECT_EQ(process(QStringLiteral("Store")), c.expected);
        EXPECT_EQ(static_cast<int>(context.radii.size()), c.expectedReads);
        EXPECT_EQ(casingLine(), c.line);
    }
}

TEST_F(TranscriptPostProcessingTest, EmptyTextBeforeTheCaretChangesNothing) {
    context.contexts = {CaretContext{QString(), std::nullopt}};
    EXPECT_EQ(process(QStringLiteral("Hello")), QStringLiteral("Hello"));
    EXPECT_EQ(casingLine(), QStringLiteral("[Casing] changed=false lang=en context=read(0) "
                                           "midSentence=false app=org.example.Editor"));
}

TEST_F(TranscriptPostProcessingTest, CasingLanguageComesFromSettingsTranslationOrRecognition) {
    struct Case {
        const char* name;
        QString speechKey;
        bool translationRequested;
        std::optional<QString> translationError;
        QString text;
        std::optional<RecognizedLanguage> recognized;
        QString expected;
        bool recognizerAsked;
    };
    const std::vector<Case> cases = {
        {"fixed speech language", QStringLiteral("de"), false, std::nullopt,
         QStringLiteral("Der Hund bellt"), std::nullopt, QStringLiteral("de"), false},
        {"translation target wins", QStringLiteral("de"), true, std::nullopt,
         QStringLiteral("El perro"), std::nullopt, QStringLiteral("es"), false},
        {"failed translation keeps the speech language", QStringLiteral("de"), true,
         QStringLiteral("unsupported"), QStringLiteral("Der Hund"), std::nullopt,
         QStringLiteral("de"), false},
        {"auto, too short to recognise", QStringLiteral("auto"), false, std::nullopt,
         QStringLiteral(" Hello  "), RecognizedLanguage{QStringLiteral("en"), 0.99},
         QStringLiteral("auto"), false},
        {"auto, recognised", QStringLiteral("auto"), false, std::nullopt,
         QStringLiteral("Der Hund bellt laut"), RecognizedLanguage{QStringLiteral("de"), 0.9},
         QStringLiteral("de"), true},
        {"auto, recognised with a region", QStringLiteral("auto"), false, std::nullopt,
         QStringLiteral("\u6211\u4EEC\u4ECA\u5929\u53BB\u516C\u56ED\u6563\u6B65"),
         RecognizedLanguage{QStringLiteral("zh-Hant"), 0.9}, QStringLiteral("zh"), true},
        {"auto, not sure enough", QStringLiteral("auto"), false, std::nullopt,
         QStringLiteral("Der Hund bellt laut"), RecognizedLanguage{QStringLiteral("de"), 0.64},
         QStringLiteral("auto"), true},
        {"auto, no estimate", QStringLiteral("auto"), false, std::nullopt,
         QStringLiteral("Der Hund bellt laut"),
         RecognizedLanguage{QStringLiteral("de"), std::nullopt}, QStringLiteral("auto"), true},
        {"auto, undetermined", QStringLiteral("auto"), false, std::nullopt,
         QStringLiteral("zzzz qqqq xxxx"), RecognizedLanguage{QStringLiteral("un"), 1.0},
         QStringLiteral("auto"), true},
    };
    settings.setTranslationEnabled(true);
    settings.setOutputLanguageKey(QStringLiteral("es"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings.setSpeechLanguageKey(c.speechKey);
        recognizer.result = c.recognized;
        recognizer.seen.clear();
        const bool translated = c.translationRequested && !c.translationError;
        EXPECT_EQ(processing.languageForCasing(c.text, translated), c.expected);
        EXPECT_EQ(!recognizer.seen.isEmpty(), c.recognizerAsked);
    }
}

// The real recogniser end to end: an automatically recognised German sentence keeps its noun's
// capital and lower-cases its article.
TEST(PostProcessingWithCld2Test, RecognisedLanguageDrivesTheCasing) {
    LogCapture logs;
    MemoryKeyValueStore store;
    AppSettings settings(store);
    FakeCaretContextSource context;
    Cld2LanguageRecognizer recognizer;
    TranscriptPostProcessing processing(context, settings, recognizer, [] { return std::nullopt; });

    EXPECT_EQ(processing.detectLanguage(QStringLiteral("Please send the report by friday.")),
              QStringLiteral("en"));
    EXPECT_EQ(processing.detectLanguage(QStringLiteral("Istanbul g\u00FCzel bir \u015Fehir")),
              QStringLiteral("tr"));
    EXPECT_EQ(processing.detectLanguage(QStringLiteral("Hallo")), std::nullopt);

    context.contexts = {CaretContext{QStringLiteral("und dann"), std::nullopt}};
    EXPECT_EQ(
        processing.process(QStringLiteral("Der Hund bellt laut im Garten"), false, std::nullopt),
        QStringLiteral(" der Hund bellt laut im Garten"));
    EXPECT_EQ(
        processing.process(QStringLiteral("Hunde bellen laut im Garten"), false, std::nullopt),
        QStringLiteral(" Hunde bellen laut im Garten"));
}

} // namespace
