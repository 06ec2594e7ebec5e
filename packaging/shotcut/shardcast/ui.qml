// Shardcast's panel in Shotcut: the effect's parameters under their own
// names, in their groups, with their own ranges, decimals and defaults.
//
// The frei0r filter takes each value as x in [0, 1] (properties '0' to
// '23', in the effect's order) and gives the effect min + x * (max - min),
// rounded to the decimals shown; a switch is on from 0.5. The bounds 0.1 and
// 99.9 are the effect's single-precision numbers. Values are written as
// text with every digit, so that the project keeps exactly the x that gives
// the number shown.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Item {
    id: panel

    readonly property var parameters: [
        // begin generated: parameter list (from pipeline/parameter_table.h; build update_parameter_texts)
        {kind: 'slider', property: '0', name: 'Compression ratio', minimum: 1, maximum: 100, decimals: 0, value: 100},
        {kind: 'group', name: 'Broken bytes'},
        {kind: 'slider', property: '1', name: 'Broken bytes', minimum: 0, maximum: 10000, decimals: 0, value: 0},
        {kind: 'slider', property: '2', name: 'start of glitch', minimum: 0, maximum: Math.fround(99.9), decimals: 2, value: 0},
        {kind: 'slider', property: '3', name: 'end of glitch', minimum: Math.fround(0.1), maximum: 100, decimals: 2, value: 100},
        {kind: 'slider', property: '4', name: 'seed', minimum: 1, maximum: 100000000, decimals: 0, value: 1},
        {kind: 'group', name: 'Quantization tables for Chroma'},
        {kind: 'switch', property: '5', name: 'QTC', value: 0},
        {kind: 'slider', property: '6', name: 'QTC position', minimum: 1, maximum: 64, decimals: 0, value: 5},
        {kind: 'slider', property: '7', name: 'QTC value', minimum: 0, maximum: 255, decimals: 0, value: 0},
        {kind: 'slider', property: '8', name: 'breaking bytes', minimum: 0, maximum: 64, decimals: 0, value: 0},
        {kind: 'slider', property: '9', name: 'max random value', minimum: 0, maximum: 255, decimals: 0, value: 0},
        {kind: 'slider', property: '10', name: 'seed', minimum: 1, maximum: 100000000, decimals: 0, value: 1},
        {kind: 'group', name: 'Quantization tables for Luma'},
        {kind: 'switch', property: '11', name: 'QTL', value: 0},
        {kind: 'slider', property: '12', name: 'QTL position', minimum: 1, maximum: 64, decimals: 0, value: 5},
        {kind: 'slider', property: '13', name: 'QTL value', minimum: 0, maximum: 255, decimals: 0, value: 0},
        {kind: 'slider', property: '14', name: 'breaking bytes', minimum: 0, maximum: 64, decimals: 0, value: 0},
        {kind: 'slider', property: '15', name: 'max random value', minimum: 0, maximum: 255, decimals: 0, value: 0},
        {kind: 'slider', property: '16', name: 'seed', minimum: 1, maximum: 100000000, decimals: 0, value: 1},
        {kind: 'group', name: 'Advanced settings'},
        {kind: 'switch', property: '17', name: 'Inverse DCT', value: 1},
        {kind: 'switch', property: '18', name: 'YCbCrToRGB', value: 1},
        {kind: 'switch', property: '19', name: 'Dequantize', value: 1},
        {kind: 'group', name: 'Broken tools'},
        {kind: 'switch', property: '20', name: 'filter 1', value: 0},
        {kind: 'slider', property: '21', name: 'filter 1 value', minimum: -10, maximum: 10, decimals: 2, value: 1},
        {kind: 'switch', property: '22', name: 'filter 2', value: 0},
        {kind: 'slider', property: '23', name: 'filter 2 value', minimum: -10, maximum: 10, decimals: 2, value: -0.1}
        // end generated: parameter list
    ]

    // The frei0r value for a number shown, and back.
    function frei0rValue(parameter, value) {
        if (parameter.kind === 'switch')
            return value ? '1' : '0';
        if (value <= parameter.minimum)
            return '0';
        if (value >= parameter.maximum)
            return '1';
        return String((value - parameter.minimum) / (parameter.maximum - parameter.minimum));
    }

    function shownValue(parameter, x) {
        if (parameter.kind === 'switch')
            return x >= 0.5 ? 1 : 0;
        var scale = Math.pow(10, parameter.decimals);
        var value = Math.round((parameter.minimum + x * (parameter.maximum - parameter.minimum)) * scale) / scale;
        return Math.min(Math.max(value, parameter.minimum), parameter.maximum);
    }

    width: 420
    height: column.implicitHeight + 16
    ColumnLayout {
        id: column

        anchors.fill: parent
        anchors.margins: 8

        Repeater {
            model: panel.parameters

            RowLayout {
                id: row

                property var parameter: modelData
                property bool ready: false

                Layout.fillWidth: true
                // Each row gives a new filter its default before showing the
                // value: rows are completed before the panel is, so the
                // panel cannot do it for them.
                Component.onCompleted: {
                    if (filter.isNew && parameter.kind !== 'group')
                        filter.set(parameter.property, frei0rValue(parameter, parameter.value));
                    if (parameter.kind === 'slider')
                        slider.value = shownValue(parameter, filter.getDouble(parameter.property));
                    else if (parameter.kind === 'switch')
                        box.checked = shownValue(parameter, filter.getDouble(parameter.property)) === 1;
                    ready = true;
                }

                Label {
                    text: parameter.name
                    font.bold: parameter.kind === 'group'
                    Layout.topMargin: parameter.kind === 'group' ? 6 : 0
                    Layout.minimumWidth: parameter.kind === 'group' ? 0 : 130
                    leftPadding: parameter.kind === 'group' ? 0 : 12
                }

                Shotcut.SliderSpinner {
                    id: slider

                    visible: parameter.kind === 'slider'
                    minimumValue: parameter.kind === 'slider' ? parameter.minimum : 0
                    maximumValue: parameter.kind === 'slider' ? parameter.maximum : 1
                    decimals: parameter.kind === 'slider' ? parameter.decimals : 0
                    stepSize: parameter.kind === 'slider' ? Math.pow(10, -parameter.decimals) : 1
                    Layout.fillWidth: true
                    onValueChanged: {
                        if (row.ready)
                            filter.set(parameter.property, frei0rValue(parameter, value));
                    }
                }

                CheckBox {
                    id: box

                    visible: parameter.kind === 'switch'
                    onCheckedChanged: {
                        if (row.ready)
                            filter.set(parameter.property, frei0rValue(parameter, checked));
                    }
                }

                Shotcut.UndoButton {
                    visible: parameter.kind !== 'group'
                    onClicked: {
                        if (parameter.kind === 'slider')
                            slider.value = parameter.value;
                        else
                            box.checked = parameter.value === 1;
                    }
                }
            }
        }
    }
}
