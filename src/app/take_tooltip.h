// The V-Take buttons' tooltips: a small picture of the take's waveform (its
// peak envelope) and its length. Envelopes are kept while their files stay
// unchanged, so hovering is instant also for long takes.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <string>

#include "card/take_envelope.h"
#include "card/take_file.h"

class QToolButton;

class TTakeTooltips : public QObject {
    Q_OBJECT

  public:
    using Buttons = std::array<QToolButton*, trx5::kTracks * trx5::kVTakes>;
    struct Take {
        std::string path;  // empty: no take in the slot
        bool longMode = false;
    };
    using TakeOf = std::function<Take(int slot)>;

    static constexpr int kWidth = 240;
    static constexpr int kHeight = 48;

    TTakeTooltips(const Buttons& buttons, TakeOf takeOf, QObject* parent = nullptr);

    // The tooltip of a slot: the picture and the caption, as rich text;
    // empty when the slot has no take or it cannot be read.
    QString TooltipFor(int slot);
    // The envelope drawn: a centre line and, per column, a bar from the
    // smallest to the largest sample.
    static QImage Picture(const trx5::PeakEnvelope& envelope, int width, int height);

    const trx5::EnvelopeCache& Cache() const { return cache_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Buttons buttons_;
    TakeOf takeOf_;
    trx5::EnvelopeCache cache_;
};
