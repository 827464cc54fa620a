#pragma once
// The global reverb and chorus, fed by the channels' sends.
namespace talmeru::voice {

class Effects {
  public:
    explicit Effects(double sampleRate);
    void SetSampleRate(double rate);
    void SetReverbType(int type);
    void SetChorusType(int type);
    int ReverbType() const { return reverb_; }
    int ChorusType() const { return chorus_; }
    // Adds the effects' outputs for the sends into outL/outR, which hold the dry mix.
    void Process(const float* reverbL, const float* reverbR, const float* chorusL,
                 const float* chorusR, float* outL, float* outR, int n);
    void Clear();

  private:
    double rate_;
    int reverb_ = 0;
    int chorus_ = 0;
};

}  // namespace talmeru::voice
