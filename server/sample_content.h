// The sample content directory that `velmor-server --make-sample DIR`
// writes: quotes of our own, pictures drawn by the program and encoded
// through libjpeg, synthesised WAV sounds, news, tips and a status line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Writes the sample into dir, which must not exist yet or be empty.
bool MakeSampleContent(const std::string& dir, std::string* error);

// Draws a picture of one of the sample styles (0 to 4) and writes it as a
// baseline JPEG. False with a reason when it cannot.
bool WriteSampleJpeg(const std::string& path, int width, int height, int style, int variant, std::string* error);

// A synthesised sound as a whole WAV file (PCM, 16-bit mono, 22,050 Hz) of
// one of the sample styles (0 to 4).
std::string SynthesiseWav(int style, int variant, int milliseconds);

struct SampleCategory {
  const char* name;
  std::vector<const char*> items;
};

// The sample texts.
const std::vector<SampleCategory>& SampleQuoteCategories();
const char* SampleNews();
const char* SampleTips();
const char* SampleStatusLine();
