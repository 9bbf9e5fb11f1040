#include "varnixlib/asc/ascheader.h"

MatVariable AscHeader::MakeMatStructure() const {
  MatComponents fields;
  fields.AddString("softwareName", softwareName);
  fields.AddString("softwareVersion", softwareVersion);
  fields.AddString("fileName", fileName);
  fields.AddString("subjectName", subjectName);
  fields.AddScalar<uint16_t>("subjectSession", subjectSession);
  fields.AddString("experimentName", experimentName);
  fields.AddScalar<uint16_t>("screenWidth", screenWidth);
  fields.AddScalar<uint16_t>("screenHeight", screenHeight);
  fields.AddScalar<uint16_t>("screenDimXmm", screenDimXmm);
  fields.AddScalar<uint16_t>("screenDimYmm", screenDimYmm);
  fields.AddScalar<uint16_t>("screenDistance", screenDistance);
  fields.AddScalar<uint16_t>("frameRate", frameRate);
  fields.AddScalar<uint16_t>("falseBlinkSamples", falseBlinkSamples);
  fields.AddString("guidingEye", guidingEye);
  return fields.MakeStructure("AscHeader");
}
