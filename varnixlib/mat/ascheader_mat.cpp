// The ASC header's MAT structure.
#include "varnixlib/asc/ascheader.h"
#include "varnixlib/mat/recordmat.h"

MatVariable MakeMatStructure(const AscHeader& header) {
  MatComponents fields;
  fields.AddString("softwareName", header.softwareName);
  fields.AddString("softwareVersion", header.softwareVersion);
  fields.AddString("fileName", header.fileName);
  fields.AddString("subjectName", header.subjectName);
  fields.AddScalar<uint16_t>("subjectSession", header.subjectSession);
  fields.AddString("experimentName", header.experimentName);
  fields.AddScalar<uint16_t>("screenWidth", header.screenWidth);
  fields.AddScalar<uint16_t>("screenHeight", header.screenHeight);
  fields.AddScalar<uint16_t>("screenDimXmm", header.screenDimXmm);
  fields.AddScalar<uint16_t>("screenDimYmm", header.screenDimYmm);
  fields.AddScalar<uint16_t>("screenDistance", header.screenDistance);
  fields.AddScalar<uint16_t>("frameRate", header.frameRate);
  fields.AddScalar<uint16_t>("falseBlinkSamples", header.falseBlinkSamples);
  fields.AddString("guidingEye", header.guidingEye);
  return fields.MakeStructure("AscHeader");
}
