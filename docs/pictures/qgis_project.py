"""Writes a QGIS project that shows kestrel-inspect's GeoJSON as a modeller
would style it: the bands filled with their own "fill" colours, the contours
labelled with their levels, the receptors as dots, the sources and the
highest value; or its KML with the KML's own styles (QGIS's embedded
symbols). Run with the system's Python, which has QGIS's modules:

    QT_QPA_PLATFORM=offscreen /usr/bin/python3 docs/pictures/qgis_project.py map.geojson map.qgs [EPSG:32617]
"""
import sys

from qgis.core import (QgsApplication, QgsReferencedRectangle, QgsCoordinateTransform, QgsCoordinateReferenceSystem, QgsPalLayerSettings, QgsProject,
                       QgsProperty, QgsSymbolLayer, QgsTextFormat, QgsTextBufferSettings,
                       QgsVectorLayer, QgsVectorLayerSimpleLabeling, QgsMarkerSymbol, QgsFillSymbol,
                       QgsLineSymbol, QgsSingleSymbolRenderer, QgsEmbeddedSymbolRenderer)
from qgis.PyQt.QtGui import QColor, QFont

geojson, project_file = sys.argv[1], sys.argv[2]
app = QgsApplication([], False)
app.initQgis()
project = QgsProject.instance()


kml = geojson.lower().endswith(".kml")


def layer(kind, name):
    # The KML's folders are layers of their own; the GeoJSON's a "layer" field.
    if kml:
        folder = {"band": "bands", "contour": "contours", "source": "sources"}.get(kind)
        if folder is None:
            return None
        l = QgsVectorLayer(f"{geojson}|layername={folder}", name, "ogr")
    else:
        l = QgsVectorLayer(f"{geojson}|subset=\"layer\" = '{kind}'", name, "ogr")
    assert l.isValid(), kind
    return l


def labels(l, field, size, colour="black"):
    s = QgsPalLayerSettings()
    s.fieldName = field
    f = QgsTextFormat()
    f.setFont(QFont("DejaVu Sans"))
    f.setSize(size)
    f.setColor(QColor(colour))
    b = QgsTextBufferSettings()
    b.setEnabled(True)
    b.setSize(1)
    f.setBuffer(b)
    s.setFormat(f)
    l.setLabeling(QgsVectorLayerSimpleLabeling(s))
    l.setLabelsEnabled(True)


bands = layer("band", "bands")
contours = layer("contour", "contours")
sources = layer("source", "sources")
triangle = QgsMarkerSymbol.createSimple({"name": "triangle", "color": "black", "size": "3.5", "outline_color": "white"})
sources.setRenderer(QgsSingleSymbolRenderer(triangle))
if kml:
    # The KML's own colours, as a viewer of KML shows them.
    bands.setRenderer(QgsEmbeddedSymbolRenderer(QgsFillSymbol.createSimple({})))
    contours.setRenderer(QgsEmbeddedSymbolRenderer(QgsLineSymbol.createSimple({})))
    labels(contours, "Name", 8)
    labels(sources, "Name", 9)
    layers = (bands, contours, sources)
else:
    fill = QgsFillSymbol.createSimple({"color": "200,200,200", "outline_style": "no"})
    fill.symbolLayer(0).setDataDefinedProperty(QgsSymbolLayer.PropertyFillColor, QgsProperty.fromField("fill"))
    fill.setOpacity(0.85)
    bands.setRenderer(QgsSingleSymbolRenderer(fill))
    contours.setRenderer(QgsSingleSymbolRenderer(QgsLineSymbol.createSimple({"color": "30,30,30", "width": "0.3"})))
    labels(contours, "label", 8)
    labels(sources, "id", 9)
    receptors = layer("receptor", "receptors")
    receptors.setRenderer(QgsSingleSymbolRenderer(QgsMarkerSymbol.createSimple(
        {"name": "circle", "color": "40,40,40", "size": "0.8", "outline_style": "no"})))
    highest = layer("highest", "highest value")
    highest.setRenderer(QgsSingleSymbolRenderer(QgsMarkerSymbol.createSimple(
        {"name": "diamond", "color": "0,0,0,0", "outline_color": "208,0,0", "outline_width": "0.6", "size": "5"})))
    labels(highest, "label", 10, "#a00000")
    layers = (bands, contours, receptors, sources, highest)

for l in layers:
    project.addMapLayer(l)
crs = QgsCoordinateReferenceSystem(sys.argv[3] if len(sys.argv) > 3 else "EPSG:32617")
project.setCrs(crs)
# The view: the bands and sources with a margin.
extent = QgsCoordinateTransform(bands.crs(), crs, project).transformBoundingBox(bands.extent())
extent.combineExtentWith(QgsCoordinateTransform(sources.crs(), crs, project).transformBoundingBox(sources.extent()))
extent.scale(1.15)
project.viewSettings().setDefaultViewExtent(QgsReferencedRectangle(extent, crs))
project.write(project_file)
app.exitQgis()
